// LoadedModule: opening Marrowlink.p and walking its server table.
#include "module_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uintptr_t syncWordExpected = 0x04121994u;
constexpr std::uintptr_t formatVersionExpected = 3u;
// A table that never ends is a broken module, not a long one.
constexpr int rowLimit = 1000;

bool readText(const char *text, std::string &into) {
    if (text == nullptr)
        return false;
    into = text;
    return true;
}

}  // namespace

LoadedModule::~LoadedModule() {
    if (descriptor != nullptr && descriptor->shutdownFunction != nullptr)
        descriptor->shutdownFunction();
    if (library != nullptr)
        dlclose(library);
}

bool LoadedModule::load(const std::string &modulePath, std::string &error) {
    path = modulePath;
    library = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char *why = dlerror();
        error = "cannot load the module '" + modulePath + "': " + (why != nullptr ? why : "unknown reason");
        return false;
    }
    const auto *record = static_cast<const ModuleDescriptor *>(dlsym(library, "_mod_descrip"));
    if (record == nullptr) {
        error = "'" + modulePath + "' exports no _mod_descrip: not a plug-in module";
        return false;
    }
    if (record->syncWord != syncWordExpected || record->formatVersion != formatVersionExpected) {
        char text[160];
        std::snprintf(text, sizeof text, "sync word 0x%08lx, format version %lu; the host wants 0x04121994 and 3",
                      static_cast<unsigned long>(record->syncWord), static_cast<unsigned long>(record->formatVersion));
        error = "'" + modulePath + "' has a module record the host would refuse: " + text;
        return false;
    }
    if (record->serverTable == nullptr) {
        error = "'" + modulePath + "' has no server table";
        return false;
    }
    descriptor = record;
    if (record->startupFunction != nullptr)
        startupResult = reinterpret_cast<std::uintptr_t>(record->startupFunction());
    for (int row = 0;; ++row) {
        if (row == rowLimit) {
            error = "the server table of '" + modulePath + "' has no end row within " + std::to_string(rowLimit) +
                    " rows";
            return false;
        }
        const ServerRecord &entry = record->serverTable[row];
        if (entry.serverClass == nullptr && entry.serverName == nullptr && entry.activationFunction == nullptr &&
            entry.tags == nullptr)
            break;
        LoadedServer server;
        if (!readText(entry.serverClass, server.serverClass) || !readText(entry.serverName, server.name) ||
            entry.activationFunction == nullptr) {
            error = "row " + std::to_string(row + 1) + " of the server table of '" + modulePath +
                    "' lacks its class, name or activation function";
            return false;
        }
        server.activation = entry.activationFunction;
        for (int tag = 0; entry.tags != nullptr; ++tag) {
            if (tag == rowLimit) {
                error = "the tags of server " + server.name + " have no end row";
                return false;
            }
            const ServerTag &label = entry.tags[tag];
            if (label.text == nullptr && label.code == 0)
                break;
            if (label.code == tagFullLabel)
                readText(label.text, server.fullLabel);
            else if (label.code == tagShortLabel)
                readText(label.text, server.shortLabel);
        }
        servers.push_back(std::move(server));
    }
    return true;
}

const LoadedServer *LoadedModule::find(const std::string &serverName) const {
    for (const LoadedServer &server : servers)
        if (server.name == serverName)
            return &server;
    return nullptr;
}

std::string defaultModulePath() {
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string exe(self, static_cast<std::size_t>(length));
        std::size_t slash = exe.rfind('/');
        std::string besideTools = exe.substr(0, slash) + "/../Marrowlink.p";
        char resolved[PATH_MAX];
        if (access(besideTools.c_str(), R_OK) == 0 && realpath(besideTools.c_str(), resolved) != nullptr)
            return resolved;
    }
    return MARROWLINK_MODULE_PATH;
}

// LoadedModule: a built Marrowlink.p opened the way the host opens a plug-in
// module: the library is loaded, `_mod_descrip` looked up by name, its words
// checked, the startup function called and the server table walked row by row.
// Nothing of the module's code is linked into the tool; every call into it
// goes through the pointers of that record.
#pragma once

#include <string>
#include <vector>

#include "host/module_record.h"

struct LoadedServer {
    std::string serverClass;
    std::string name;
    std::string fullLabel;          // tag 0x00000409
    std::string shortLabel;         // tag 0x00010409
    ActivationFunction activation = nullptr;  // borrowed from the module
};

struct LoadedModule {
    std::string path;
    void *library = nullptr;                    // owned: the dlopen handle
    const ModuleDescriptor *descriptor = nullptr;  // borrowed from the library
    std::uintptr_t startupResult = 0;
    std::vector<LoadedServer> servers;          // in table order

    LoadedModule() = default;
    ~LoadedModule();
    LoadedModule(const LoadedModule &) = delete;
    LoadedModule &operator=(const LoadedModule &) = delete;

    // False, with a message, when the file is no module the host would load.
    bool load(const std::string &modulePath, std::string &error);
    const LoadedServer *find(const std::string &serverName) const;
};

// Where the module of this build sits: beside the tools folder of the build
// tree the tool runs from, else where the build put it.
std::string defaultModulePath();

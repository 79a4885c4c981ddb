// The About panel's cost per redraw: the logo's 20000 plot calls against a
// host that only counts them, beside their floor (the same calls, recorded once,
// handed to the same host from a plain array), and a whole redraw of the About
// panel in the simulator, text and framebuffer included.
#include <benchmark/benchmark.h>

#include <vector>

#include "sim/sim_panels.h"
#include "ui/about_panel.h"
#include "ui/logo_image.h"

namespace {

long plotted = 0;
void countPixel(void *, int, int, int, int, int) { ++plotted; }

void BM_LogoDrawImageCountingHost(benchmark::State &state) {
    LogoImage logo;
    if (!logo.construct()) {
        state.SkipWithError("no chunk table");
        return;
    }
    DrawKit kit;
    kit.operations.drawPixel = countPixel;
    for (auto _ : state) {
        logo.drawImage(nullptr, kit, 3, 3);
        benchmark::DoNotOptimize(plotted);
    }
    state.SetItemsProcessed(state.iterations() * 20000);
    logo.destroy();
}
BENCHMARK(BM_LogoDrawImageCountingHost);

struct Plot {
    int red, green, blue, x, y;
};
std::vector<Plot> recordedPlots;
void recordPixel(void *, int red, int green, int blue, int x, int y) { recordedPlots.push_back({red, green, blue, x, y}); }

void BM_LogoFloorCountingHost(benchmark::State &state) {
    LogoImage logo;
    if (!logo.construct()) {
        state.SkipWithError("no chunk table");
        return;
    }
    DrawKit kit;
    kit.operations.drawPixel = recordPixel;
    recordedPlots.clear();
    logo.drawImage(nullptr, kit, 3, 3);
    logo.destroy();
    kit.operations.drawPixel = countPixel;
    for (auto _ : state) {
        for (const Plot &plot : recordedPlots)
            kit.pixel(nullptr, plot.red, plot.green, plot.blue, plot.x, plot.y);
        benchmark::DoNotOptimize(plotted);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(recordedPlots.size()));
}
BENCHMARK(BM_LogoFloorCountingHost);

void BM_AboutPanelRedrawInTheSimulator(benchmark::State &state) {
    SimHost host;
    SimPanels panels(host);
    // Opened and closed by the user, but not yet destroyed: it can be redrawn.
    AboutPanel about(&panels.panelServices, "Marrowlink", AboutText, nullptr, true);
    SimPanel *panel = panels.lastPanel();
    for (auto _ : state) {
        panel->clearDrawing();
        panels.redraw(*panel);
    }
    if (!panels.misuse.empty())
        state.SkipWithError(panels.misuse.front().c_str());
}
BENCHMARK(BM_AboutPanelRedrawInTheSimulator)->Unit(benchmark::kMicrosecond);

}  // namespace

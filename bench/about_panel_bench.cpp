// The About panel's cost per redraw: the logo's 20000 plot calls against a
// host that only counts them (the module's own floor), and a whole redraw of
// the About panel in the simulator, text and framebuffer included.
#include <benchmark/benchmark.h>

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

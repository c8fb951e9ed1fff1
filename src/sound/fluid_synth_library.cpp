#include "fluid_synth_library.h"

#include "shared_library.h"

#include <initializer_list>

namespace kestrix {
namespace {

void Quiet(int, const char*, void*) {}

}  // namespace

const char* FluidSynthSoname() noexcept
{
    return KESTRIX_FLUIDSYNTH_SONAME;
}

const FluidSynthLibrary& LoadFluidSynth()
{
    static const FluidSynthLibrary library = OpenFluidSynth(FluidSynthSoname());
    return library;
}

FluidSynthLibrary OpenFluidSynth(const char* soname)
{
    FluidSynthLibrary f;
    void* synth = OpenSharedLibrary(soname);
    if (synth == nullptr)
        return f;
    decltype(&fluid_set_log_function) setLogFunction = nullptr;
    f.Loaded = ResolveSymbol(synth, "new_fluid_settings", f.NewSettings) &&
               ResolveSymbol(synth, "delete_fluid_settings", f.DeleteSettings) &&
               ResolveSymbol(synth, "fluid_settings_setnum", f.SetNum) &&
               ResolveSymbol(synth, "fluid_settings_setint", f.SetInt) &&
               ResolveSymbol(synth, "fluid_settings_setstr", f.SetStr) &&
               ResolveSymbol(synth, "new_fluid_synth", f.NewSynth) &&
               ResolveSymbol(synth, "delete_fluid_synth", f.DeleteSynth) &&
               ResolveSymbol(synth, "fluid_synth_sfload", f.LoadSoundFont) &&
               ResolveSymbol(synth, "fluid_synth_system_reset", f.SystemReset) &&
               ResolveSymbol(synth, "fluid_synth_write_s16", f.WriteS16) &&
               ResolveSymbol(synth, "new_fluid_player", f.NewPlayer) &&
               ResolveSymbol(synth, "delete_fluid_player", f.DeletePlayer) &&
               ResolveSymbol(synth, "fluid_player_add_mem", f.AddMem) &&
               ResolveSymbol(synth, "fluid_player_play", f.Play) &&
               ResolveSymbol(synth, "fluid_player_get_status", f.GetStatus) &&
               ResolveSymbol(synth, "fluid_player_stop", f.Stop) &&
               ResolveSymbol(synth, "fluid_set_log_function", setLogFunction);
    if (f.Loaded)
        for (const int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            setLogFunction(level, Quiet, nullptr);
    return f;
}

}  // namespace kestrix

#pragma once

#include <fluidsynth.h>

namespace kestrix {

// The functions of libfluidsynth the MIDI render calls. The library is opened
// at the first MIDI, RMID or iMelody render, or the first question whether
// one plays (LoadFluidSynth): it brings some fifty libraries of its own (sound
// servers, X11, Wayland, GLib, D-Bus), which a content search, whose MIDI
// verdicts come from the walk, and a window that plays no MIDI never need.
struct FluidSynthLibrary {
    bool Loaded = false;
    decltype(&new_fluid_settings) NewSettings = nullptr;
    decltype(&delete_fluid_settings) DeleteSettings = nullptr;
    decltype(&fluid_settings_setnum) SetNum = nullptr;
    decltype(&fluid_settings_setint) SetInt = nullptr;
    decltype(&fluid_settings_setstr) SetStr = nullptr;
    decltype(&new_fluid_synth) NewSynth = nullptr;
    decltype(&delete_fluid_synth) DeleteSynth = nullptr;
    decltype(&fluid_synth_sfload) LoadSoundFont = nullptr;
    decltype(&fluid_synth_system_reset) SystemReset = nullptr;
    decltype(&fluid_synth_write_s16) WriteS16 = nullptr;
    decltype(&new_fluid_player) NewPlayer = nullptr;
    decltype(&delete_fluid_player) DeletePlayer = nullptr;
    decltype(&fluid_player_add_mem) AddMem = nullptr;
    decltype(&fluid_player_play) Play = nullptr;
    decltype(&fluid_player_get_status) GetStatus = nullptr;
    decltype(&fluid_player_stop) Stop = nullptr;
};

// Opens libfluidsynth of the soname the module was built against
// (FluidSynthSoname), once a process and safely from any thread, as
// OpenFluidSynth.
const FluidSynthLibrary& LoadFluidSynth();

// Opens the library of that soname, resolves the functions and silences its
// log. Loaded is false when the library or one of the functions is missing;
// the library stays open either way.
FluidSynthLibrary OpenFluidSynth(const char* soname);

// The soname LoadFluidSynth opens ("libfluidsynth.so.3").
const char* FluidSynthSoname() noexcept;

}  // namespace kestrix

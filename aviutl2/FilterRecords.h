// The 64-bit editor's filter records, as far as this filter uses them.
//
// Written from the published layout (x86-64 Windows: pointers 8 bytes,
// wchar_t 2 bytes, int 4 bytes, natural alignment). Every offset the module
// or the emulated host touches is checked below, so a field out of place
// fails the build instead of reading the wrong bytes at run time.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define AVIUTL2_EXPORT __declspec(dllexport)
#else
#define AVIUTL2_EXPORT __attribute__((visibility("default")))
#endif

// The item kinds the host recognises by their type texts: track bars and a
// checkbox here.
struct Auf2TrackItem {
    const wchar_t* Type;  // L"track"
    const wchar_t* Name;
    double Value;         // written by the host before each video call
    double Minimum;
    double Maximum;
    double Step;          // 1.0, 0.1, 0.01 or 0.001
};

struct Auf2CheckItem {
    const wchar_t* Type;  // L"check"
    const wchar_t* Name;
    bool Value;           // the default; written by the host before each video call
};

struct Auf2PixelRgba {
    std::uint8_t R, G, B, A;
};

struct Auf2SceneInfo {
    std::int32_t Width, Height;
    std::int32_t Rate, Scale;
    std::int32_t SampleRate;
};

struct Auf2ObjectInfo {
    std::int64_t Id;           // unique within the application
    std::int32_t Frame;
    std::int32_t FrameTotal;
    double Time;
    double TimeTotal;
    std::int32_t Width, Height;  // the object's current image
    std::int64_t SampleIndex;
    std::int64_t SampleTotal;
    std::int32_t SampleCount;
    std::int32_t ChannelCount;
    std::int64_t EffectId;     // this effect inside the object
    std::int32_t Flag;         // newer hosts only; never read here
};

using Auf2GetImageData = void (*)(Auf2PixelRgba* Buffer);
// A null buffer resizes the image and leaves it uninitialised.
using Auf2SetImageData = void (*)(Auf2PixelRgba* Buffer, std::int32_t Width, std::int32_t Height);

struct Auf2ProcVideo {
    const Auf2SceneInfo* Scene;
    const Auf2ObjectInfo* Object;
    Auf2GetImageData GetImageData;  // the object's image, Width x Height RGBA, rows packed
    Auf2SetImageData SetImageData;
    void* (*GetImageTexture)();        // GPU textures: not used
    void* (*GetFramebufferTexture)();
};

struct Auf2ProcAudio;

enum Auf2TableFlag : std::int32_t {
    Auf2FlagVideo = 1,
    Auf2FlagAudio = 2,
    Auf2FlagInput = 4,
    Auf2FlagFilterObject = 8,  // also usable as a filter object (no size change)
};

struct Auf2FilterTable {
    std::int32_t Flag;
    const wchar_t* Name;
    const wchar_t* Label;        // null: the host's default group
    const wchar_t* Information;
    void** Items;                // null-terminated list of item records
    bool (*ProcVideo)(Auf2ProcVideo* Video);
    bool (*ProcAudio)(Auf2ProcAudio* Audio);
};

// The module's exports, by these names.
using Auf2GetTableFunc = Auf2FilterTable* (*)();
using Auf2InitializeFunc = bool (*)(std::uint32_t HostVersion);
using Auf2UninitializeFunc = void (*)();

static_assert(sizeof(void*) == 8, "the records are the 64-bit layout");
static_assert(sizeof(bool) == 1, "the video function returns a one-byte bool");

static_assert(offsetof(Auf2TrackItem, Type) == 0 && offsetof(Auf2TrackItem, Name) == 8 &&
                  offsetof(Auf2TrackItem, Value) == 16 && offsetof(Auf2TrackItem, Minimum) == 24 &&
                  offsetof(Auf2TrackItem, Maximum) == 32 && offsetof(Auf2TrackItem, Step) == 40 &&
                  sizeof(Auf2TrackItem) == 48,
              "track item layout");
static_assert(offsetof(Auf2CheckItem, Type) == 0 && offsetof(Auf2CheckItem, Name) == 8 &&
                  offsetof(Auf2CheckItem, Value) == 16 && sizeof(Auf2CheckItem) == 24,
              "checkbox item layout");
static_assert(sizeof(Auf2PixelRgba) == 4 && offsetof(Auf2PixelRgba, A) == 3, "RGBA pixel layout");
static_assert(offsetof(Auf2SceneInfo, SampleRate) == 16 && sizeof(Auf2SceneInfo) == 20,
              "scene info layout");
static_assert(offsetof(Auf2ObjectInfo, Frame) == 8 && offsetof(Auf2ObjectInfo, Time) == 16 &&
                  offsetof(Auf2ObjectInfo, Width) == 32 && offsetof(Auf2ObjectInfo, Height) == 36 &&
                  offsetof(Auf2ObjectInfo, SampleIndex) == 40 &&
                  offsetof(Auf2ObjectInfo, SampleCount) == 56 &&
                  offsetof(Auf2ObjectInfo, EffectId) == 64 && offsetof(Auf2ObjectInfo, Flag) == 72 &&
                  sizeof(Auf2ObjectInfo) == 80,
              "object info layout");
static_assert(offsetof(Auf2ProcVideo, Scene) == 0 && offsetof(Auf2ProcVideo, Object) == 8 &&
                  offsetof(Auf2ProcVideo, GetImageData) == 16 &&
                  offsetof(Auf2ProcVideo, SetImageData) == 24 &&
                  offsetof(Auf2ProcVideo, GetFramebufferTexture) == 40 &&
                  sizeof(Auf2ProcVideo) == 48,
              "video record layout");
static_assert(offsetof(Auf2FilterTable, Flag) == 0 && offsetof(Auf2FilterTable, Name) == 8 &&
                  offsetof(Auf2FilterTable, Label) == 16 &&
                  offsetof(Auf2FilterTable, Information) == 24 &&
                  offsetof(Auf2FilterTable, Items) == 32 &&
                  offsetof(Auf2FilterTable, ProcVideo) == 40 &&
                  offsetof(Auf2FilterTable, ProcAudio) == 48 && sizeof(Auf2FilterTable) == 56,
              "filter table layout");

// An emulated 64-bit editor for .auf2 filter modules: loads one, reads and
// checks its table and items, and runs its video function for objects, each
// with its own picture and settings, from as many threads as the caller
// likes. Shared by the tests and the benchmarks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "aviutl2/FilterRecords.h"

namespace velgarde {

// A track item as the editor shows it.
struct Auf2Track {
    std::wstring name;
    double value;  // the default the module declares
    double minimum;
    double maximum;
    double step;
};

// A checkbox item.
struct Auf2Check {
    std::wstring name;
    bool value;  // the default the module declares
};

// One object on the timeline: its picture, rows packed, and the values of its
// settings (one per track). The host records what the module did with it.
struct Auf2Object {
    std::int64_t id = 0;
    std::int64_t effectId = 0;
    int width = 0;
    int height = 0;
    std::vector<Auf2PixelRgba> pixels;
    std::vector<double> values;
    std::vector<bool> checks;  // one per checkbox

    int imageReads = 0;   // get_image_data calls in the last Process
    int imageWrites = 0;  // set_image_data calls in the last Process
};

class Auf2Host {
public:
    // What the host tells InitializePlugin about itself.
    static constexpr std::uint32_t HostVersion = 2000100;

    Auf2Host();
    ~Auf2Host();  // Close
    Auf2Host(const Auf2Host&) = delete;
    Auf2Host& operator=(const Auf2Host&) = delete;

    // Loads the module (a bare file name means the current directory), calls
    // InitializePlugin if exported, then reads the table. On failure returns
    // false with a one-line reason in *error and leaves the host closed.
    // The table must offer a video function and name its items; items of any
    // kind but track bars and checkboxes are refused.
    bool Open(const std::string& modulePath, std::string* error);
    // UninitializePlugin if exported, then unload. Safe to call twice.
    void Close();
    bool IsOpen() const;

    std::int32_t Flag() const;
    const std::wstring& Name() const;
    const std::wstring& Information() const;
    const std::vector<Auf2Track>& Tracks() const;
    const std::vector<Auf2Check>& Checks() const;
    // A new object at the items' defaults with a width x height picture (zeroed).
    Auf2Object NewObject(int width, int height) const;

    // One video call for the object: its values into the module's items,
    // then the video function with the image services bound to this object.
    // The module's items are one set shared by all objects, so a call holds
    // them from writing the values until the module fetches the picture (or
    // returns): calls for different objects may run at once from different
    // threads and still each see their own settings. A picture set back at
    // another size replaces the object's. Returns the module's answer.
    bool Process(Auf2Object& object);

    // Raw access for tests: the module's own table and items (null when closed).
    Auf2FilterTable* RawTable() const;
    void* Symbol(const char* name) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace velgarde

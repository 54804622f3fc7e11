// libFuzzer target: the loaded plug-in driven through the emulated host by a
// fuzzer-chosen script of calls. Geometry (including zero, negative and
// mismatched sizes), track values over all of int32, the pool's thread count
// and the order of FilterInit / FilterUpdate / FilterProc / FilterExit come
// from the input. Frames sit between guard zones (poisoned under ASan, so a
// read is caught as well as a write); the work buffer is exactly the size the
// plane needs.
//
// For every call the harness knows what a correct plug-in answers: a frame it
// can process equals the scalar model fed the converted track values; a frame
// it cannot is left byte for byte and the result is FALSE; an empty frame is
// untouched and reported done. Any difference aborts with a description.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host/PluginModule.h"
#include "tests/support/Plugin.h"

namespace {

using namespace velgarde_test;

// Frames the harness allocates and checks: small, so that runs are fast.
constexpr int MaxSide = 96;
constexpr int MaxPad = 32;
constexpr int MaxOps = 24;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "PluginFuzz: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

// Little-endian values from the front of the input; zeros once it runs out.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }
    std::uint32_t U32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(Byte()) << (8 * i);
        return v;
    }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Frame content from a seed: full 16-bit range, video range, a ramp with
// noise, or the two extremes side by side.
void FillPixels(unsigned char* frame, int maxWidth, int height, std::uint32_t seed, int pattern) {
    std::uint32_t x = seed | 1;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < maxWidth; ++c) {
            PixelYC p;
            const std::uint32_t v = next();
            switch (pattern & 3) {
                case 0: p.Y = static_cast<std::int16_t>(v); break;
                case 1: p.Y = static_cast<std::int16_t>(v % 4097); break;
                case 2: p.Y = static_cast<std::int16_t>((c * 37 + r * 23) % 4096 + static_cast<int>(v % 81) - 40); break;
                default: p.Y = (v & 1) ? 32767 : -32768; break;
            }
            p.Cb = static_cast<std::int16_t>(v >> 16);
            p.Cr = static_cast<std::int16_t>(v >> 8);
            std::memcpy(frame + (static_cast<std::size_t>(r) * static_cast<std::size_t>(maxWidth) + static_cast<std::size_t>(c)) * 6, &p, 6);
        }
}

// One frame record's buffers: the frame (at a chosen even misalignment)
// between guard zones, and the work plane (16-byte aligned) followed by one.
struct Buffers {
    std::vector<unsigned char> frame;
    std::size_t frameAt = 0;
    std::size_t frameBytes = 0;
    std::vector<unsigned char> temp;
    std::size_t tempAt = 0;
    std::size_t tempBytes = 0;

    Buffers(std::size_t frameSize, std::size_t tempSize, unsigned misalign) : frameBytes(frameSize), tempBytes(tempSize) {
        frame.assign(GuardBytes + 16 + frameSize + GuardBytes, GuardByte);
        frameAt = GuardBytes + (misalign & 7) * 2;
        temp.assign(16 + tempSize + GuardBytes, GuardByte);
        const auto address = reinterpret_cast<std::uintptr_t>(temp.data());
        tempAt = (16 - address % 16) % 16;
    }
    unsigned char* Frame() { return frame.data() + frameAt; }
    unsigned char* Temp() { return temp.data() + tempAt; }
    void Poison() {
        VELGARDE_POISON(frame.data(), frameAt);
        VELGARDE_POISON(Frame() + frameBytes, frame.size() - frameAt - frameBytes);
        VELGARDE_POISON(temp.data(), tempAt);
        VELGARDE_POISON(Temp() + tempBytes, temp.size() - tempAt - tempBytes);
    }
    void Unpoison() {
        VELGARDE_UNPOISON(frame.data(), frame.size());
        VELGARDE_UNPOISON(temp.data(), temp.size());
    }
    bool TempGuardsIntact() const {
        return GuardIntact(temp.data(), temp.data() + tempAt) &&
               GuardIntact(temp.data() + tempAt + tempBytes, temp.data() + temp.size());
    }
};

std::string Geometry(std::int32_t w, std::int32_t h, std::int32_t mw) {
    return std::to_string(w) + "x" + std::to_string(h) + " pitch " + std::to_string(mw);
}

// Whether the plug-in's 32-bit byte counts can hold this (sound, non-empty)
// frame: strides of 4 rows, the frame and the work plane.
bool Addressable(std::int64_t w, std::int64_t h, std::int64_t mw) {
    const std::int64_t limit = std::numeric_limits<std::int32_t>::max();
    const std::int64_t padded = (w + 7) / 8 * 8;
    return mw * 6 * 4 <= limit && mw * 6 * h <= limit && (h + 3) / 4 * padded * 8 <= limit;
}

// What the harness knows of the plug-in's state.
struct Model {
    bool engine = true;        // FilterInit done, FilterExit not since
    bool hostInitialised = true;  // the host's own view (it saw no direct FilterInit)
    bool updated = false;      // parameters arrived since the engine was made
    FilterParameters params{};
    std::int32_t tracks[TrackCount];
};

const char* ModulePath() { return VELGARDE_FUZZ_MODULE; }

class Session {
public:
    Session(velgarde::EmulatedHost& host, Model& model) : host_(host), m_(model) {}

    void SetTracksAndUpdate(Reader& in) {
        for (int i = 0; i < TrackCount; ++i) {
            m_.tracks[i] = in.I32();
            host_.SetTrack(i, m_.tracks[i]);
        }
        Update();
    }

    void Update() {
        const std::int32_t result = host_.CallUpdate();
        if (!m_.engine) {
            if (result != Failure) Fail("FilterUpdate without an engine returned " + std::to_string(result));
            return;
        }
        if (result != Success) Fail("FilterUpdate failed: " + std::to_string(result));
        m_.params = ConvertTrackValues(m_.tracks);
        m_.updated = true;
    }

    void UpdateWithoutTracks() {
        FilterTable* table = host_.MutableTable();
        std::int32_t* saved = table->TrackValues;
        table->TrackValues = nullptr;
        const std::int32_t result = table->UpdateFunc(table);
        table->TrackValues = saved;
        if (result != Failure) Fail("FilterUpdate with no track values returned " + std::to_string(result));
    }

    void Exit() {
        if (host_.CallExit() != Success) Fail("FilterExit did not return -1");
        m_.engine = false;
        m_.hostInitialised = false;
    }

    void Init() {
        FilterTable* table = host_.MutableTable();
        if (table->InitFunc(table) != Success) Fail("FilterInit failed");
        // A second FilterInit keeps the engine it has, parameters and all.
        if (!m_.engine) m_.updated = false;
        m_.engine = true;
    }

    // A frame record on the harness's own guarded buffers.
    void Proc(Reader& in, bool withoutFunctions) {
        const std::uint8_t mode = in.Byte();
        std::int32_t w, h, mw;
        if (mode % 4 == 0) {
            w = in.I32();
            h = in.I32();
            mw = in.I32();
        } else {
            w = in.U16() % (MaxSide + 1);
            h = in.U16() % (MaxSide + 1);
            const int pad = in.Byte() % (MaxPad + 1);
            // Mode 3 also makes the pitch a little short of the width.
            mw = mode % 4 == 3 ? w + pad % 5 - 2 : w + pad;
        }
        const std::uint8_t flags = in.Byte();
        const std::uint32_t seed = in.U32();

        const bool sound = w >= 0 && h >= 0 && mw >= w && !(flags & 1) && !(flags & 2);
        const bool empty = sound && (w == 0 || h == 0);
        bool processable = sound && !empty && !withoutFunctions && Addressable(w, h, mw);
        // A frame the plug-in could address but the harness will not
        // allocate is brought down to a small one.
        if (processable && (w > MaxSide || h > MaxSide || mw > w + MaxPad)) {
            w = 1 + static_cast<std::int32_t>(static_cast<std::uint32_t>(w) % MaxSide);
            h = 1 + static_cast<std::int32_t>(static_cast<std::uint32_t>(h) % MaxSide);
            mw = w + static_cast<std::int32_t>(static_cast<std::uint32_t>(mw) % (MaxPad + 1));
        }
        const bool small = w >= 0 && h >= 0 && w <= MaxSide && h <= MaxSide && mw >= w && mw <= w + MaxPad;
        // Buffers are sized from the record when it is small and sound; any
        // other record gets a token frame that the plug-in must not touch.
        const int bw = small ? mw : 4, bh = small ? h : 4, pw = small ? w : 4;
        const std::size_t frameBytes = static_cast<std::size_t>(bw) * static_cast<std::size_t>(bh) * 6;
        const std::size_t tempBytes = static_cast<std::size_t>((bh + 3) / 4) * static_cast<std::size_t>((pw + 7) / 8 * 8) * 8;
        Buffers b(frameBytes, tempBytes, flags >> 4);
        FillPixels(b.Frame(), bw, bh, seed, flags >> 2);

        std::vector<unsigned char> want = b.frame;
        std::int32_t expected = Failure;
        if (m_.engine && sound) expected = empty || processable ? Success : Failure;
        if (expected == Success && processable && m_.updated)
            ReferenceFrame(ModelSettings(m_.params), want.data() + b.frameAt, w, h, mw);
        const std::vector<unsigned char> tempBefore = b.temp;

        ProcInfo info{};
        info.EditFrame = (flags & 1) ? nullptr : reinterpret_cast<PixelYC*>(b.Frame());
        info.TempFrame = (flags & 2) ? nullptr : reinterpret_cast<PixelYC*>(b.Temp());
        info.Width = w;
        info.Height = h;
        info.MaxWidth = mw;
        const ProcInfo sent = info;

        FilterTable* table = host_.MutableTable();
        HostFunctions* functions = table->Functions;
        if (withoutFunctions) table->Functions = nullptr;
        b.Poison();
        const std::int32_t result = host_.CallProc(&info);
        b.Unpoison();
        table->Functions = functions;

        const std::string what = Geometry(w, h, mw) + " flags " + std::to_string(flags) +
                                 (m_.engine ? "" : " without an engine") +
                                 (withoutFunctions ? " without host functions" : "");
        if (std::memcmp(&sent, &info, sizeof info) != 0) Fail(what + ": the frame record was changed");
        if (result != expected)
            Fail(what + ": FilterProc returned " + std::to_string(result) + ", expected " + std::to_string(expected));
        if (b.frame != want) Fail(what + ": " + FirstDifference(b.frame, want, b.frameAt));
        if (!b.TempGuardsIntact()) Fail(what + ": written outside the work plane");
        if (!(expected == Success && processable) && b.temp != tempBefore) Fail(what + ": work buffer written");
    }

    // The host's own buffers and Process, as the command-line tool uses them.
    void Process(Reader& in) {
        const int w = in.Byte() % (MaxSide + 1);
        const int h = in.Byte() % (MaxSide + 1);
        const int mw = w + in.Byte() % (MaxPad + 1);
        const std::uint32_t seed = in.U32();
        PixelYC* pixels = host_.PrepareFrame(w, h, mw);
        if (!pixels) Fail("PrepareFrame refused " + Geometry(w, h, mw));
        const std::size_t bytes = static_cast<std::size_t>(mw) * static_cast<std::size_t>(h) * 6;
        std::vector<unsigned char> want(bytes);
        FillPixels(want.data(), mw, h, seed, static_cast<int>(seed >> 30));
        if (bytes) std::memcpy(pixels, want.data(), bytes);

        std::string error;
        const bool ok = host_.Process(&error);
        if (!m_.hostInitialised) {
            if (ok) Fail("Process after FilterExit succeeded");
        } else {
            if (!ok) Fail("Process failed on " + Geometry(w, h, mw) + ": " + error);
            // Process hands the tracks over first when they are news.
            m_.params = ConvertTrackValues(m_.tracks);
            m_.updated = true;
            if (w && h) ReferenceFrame(ModelSettings(m_.params), want.data(), w, h, mw);
        }
        if (bytes && std::memcmp(pixels, want.data(), bytes) != 0)
            Fail("Process on " + Geometry(w, h, mw) + ": the frame differs from the model");
    }

private:
    velgarde::EmulatedHost& host_;
    Model& m_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Held for the whole run: each input's host then loads and unloads no
    // more than a reference, and the module's state is what the hosts drive.
    static velgarde::PluginModule keeper;
    if (!keeper.IsLoaded()) {
        std::string error;
        if (!keeper.Load(ModulePath(), &error)) Fail(error);
    }

    Reader in(data, size);
    const int threads = 1 + in.Byte() % 13;
    velgarde::EmulatedHost host;
    std::string error;
    if (!host.Open(ModulePath(), threads, &error)) Fail(error);
    Model model;
    for (int i = 0; i < TrackCount; ++i) model.tracks[i] = host.Track(i);
    Session session(host, model);

    for (int op = 0; op < MaxOps && !in.Empty(); ++op) {
        switch (in.Byte() % 8) {
            case 0: session.SetTracksAndUpdate(in); break;
            case 1: session.Update(); break;
            case 2:
            case 3: session.Proc(in, false); break;
            case 4: session.Proc(in, true); break;
            case 5: session.Process(in); break;
            case 6: session.Exit(); break;
            default:
                if (in.Byte() & 1)
                    session.Init();
                else
                    session.UpdateWithoutTracks();
                break;
        }
    }
    // An engine the host does not know of (FilterInit called behind its
    // back) would outlive it: the next input must start from a fresh one.
    if (model.engine && !model.hostInitialised) host.MutableTable()->ExitFunc(host.MutableTable());
    host.Close();
    return 0;
}

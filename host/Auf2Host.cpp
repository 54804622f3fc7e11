#include "host/Auf2Host.h"

#include <cstring>
#include <mutex>

#include "host/PluginModule.h"

namespace velgarde {

namespace {

// A module lists its items until a null entry; a longer list is not a table.
constexpr int MostItems = 256;

// The call running on this thread: the image services have no context
// argument, so they find their object here.
struct CurrentCall {
    Auf2Object* object;
    std::unique_lock<std::mutex>* items;
};
thread_local CurrentCall* current = nullptr;

void GetImageData(Auf2PixelRgba* buffer) {
    CurrentCall* call = current;
    if (call == nullptr || buffer == nullptr) return;
    // Once the module has the picture, its settings have been read.
    if (call->items->owns_lock()) call->items->unlock();
    Auf2Object& object = *call->object;
    ++object.imageReads;
    if (!object.pixels.empty())
        std::memcpy(buffer, object.pixels.data(), object.pixels.size() * sizeof(Auf2PixelRgba));
}

void SetImageData(Auf2PixelRgba* buffer, std::int32_t width, std::int32_t height) {
    CurrentCall* call = current;
    if (call == nullptr || width < 0 || height < 0) return;
    Auf2Object& object = *call->object;
    ++object.imageWrites;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    object.width = width;
    object.height = height;
    object.pixels.resize(count);
    // No buffer: a new size with undefined contents; a pattern makes it visible.
    if (buffer == nullptr)
        std::memset(object.pixels.data(), 0xCD, count * sizeof(Auf2PixelRgba));
    else if (count != 0)
        std::memcpy(object.pixels.data(), buffer, count * sizeof(Auf2PixelRgba));
}

std::wstring Text(const wchar_t* text) { return text ? std::wstring(text) : std::wstring(); }

}  // namespace

struct Auf2Host::State {
    PluginModule module;
    Auf2FilterTable* table = nullptr;
    std::vector<Auf2TrackItem*> items;
    std::vector<Auf2Track> tracks;
    std::vector<Auf2CheckItem*> checkItems;
    std::vector<Auf2Check> checks;
    std::wstring name;
    std::wstring information;
    Auf2UninitializeFunc uninitialize = nullptr;
    std::mutex itemsLock;
};

Auf2Host::Auf2Host() : state_(new State) {}
Auf2Host::~Auf2Host() { Close(); }

bool Auf2Host::Open(const std::string& modulePath, std::string* error) {
    Close();
    auto fail = [&](const std::string& why) {
        if (error) *error = modulePath + ": " + why;
        Close();
        return false;
    };
    std::string reason;
    if (!state_->module.Load(modulePath, &reason)) {
        if (error) *error = reason;
        return false;
    }
    auto getTable = reinterpret_cast<Auf2GetTableFunc>(state_->module.Symbol("GetFilterPluginTable", &reason));
    if (getTable == nullptr) return fail("no GetFilterPluginTable export");
    auto initialize = reinterpret_cast<Auf2InitializeFunc>(state_->module.Symbol("InitializePlugin", nullptr));
    if (initialize != nullptr && !initialize(HostVersion)) return fail("InitializePlugin refused");
    // From here Close owes the module its UninitializePlugin.
    state_->uninitialize =
        reinterpret_cast<Auf2UninitializeFunc>(state_->module.Symbol("UninitializePlugin", nullptr));

    Auf2FilterTable* table = getTable();
    if (table == nullptr) return fail("GetFilterPluginTable returned no table");
    if ((table->Flag & Auf2FlagVideo) == 0) return fail("the table offers no video filter");
    if (table->ProcVideo == nullptr) return fail("the table has no video function");
    if (table->Name == nullptr) return fail("the table has no name");
    if (table->Items == nullptr) return fail("the table has no item list");
    for (int i = 0;; ++i) {
        if (i == MostItems) return fail("the item list has no end");
        void* entry = table->Items[i];
        if (entry == nullptr) break;
        // Type and name lead every kind of item.
        auto* item = static_cast<Auf2TrackItem*>(entry);
        if (item->Type == nullptr || item->Name == nullptr)
            return fail("item " + std::to_string(i) + " has no type or name");
        if (std::wstring(item->Type) == L"check") {
            auto* check = static_cast<Auf2CheckItem*>(entry);
            state_->checkItems.push_back(check);
            state_->checks.push_back({check->Name, check->Value});
            continue;
        }
        if (std::wstring(item->Type) != L"track")
            return fail("item " + std::to_string(i) + " is neither a track bar nor a checkbox");
        if (!(item->Minimum <= item->Value && item->Value <= item->Maximum) || !(item->Step > 0))
            return fail("item " + std::to_string(i) + " has its default outside its range");
        state_->items.push_back(item);
        state_->tracks.push_back({item->Name, item->Value, item->Minimum, item->Maximum, item->Step});
    }
    state_->table = table;
    state_->name = Text(table->Name);
    state_->information = Text(table->Information);
    return true;
}

void Auf2Host::Close() {
    if (state_->uninitialize != nullptr) state_->uninitialize();
    state_->uninitialize = nullptr;
    state_->module.Unload();
    state_->table = nullptr;
    state_->items.clear();
    state_->tracks.clear();
    state_->checkItems.clear();
    state_->checks.clear();
    state_->name.clear();
    state_->information.clear();
}

bool Auf2Host::IsOpen() const { return state_->table != nullptr; }
std::int32_t Auf2Host::Flag() const { return state_->table ? state_->table->Flag : 0; }
const std::wstring& Auf2Host::Name() const { return state_->name; }
const std::wstring& Auf2Host::Information() const { return state_->information; }
const std::vector<Auf2Track>& Auf2Host::Tracks() const { return state_->tracks; }
const std::vector<Auf2Check>& Auf2Host::Checks() const { return state_->checks; }
Auf2FilterTable* Auf2Host::RawTable() const { return state_->table; }
void* Auf2Host::Symbol(const char* name) const { return state_->module.Symbol(name, nullptr); }

Auf2Object Auf2Host::NewObject(int width, int height) const {
    Auf2Object object;
    object.width = width;
    object.height = height;
    object.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), Auf2PixelRgba{});
    for (const Auf2Track& track : state_->tracks) object.values.push_back(track.value);
    for (const Auf2Check& check : state_->checks) object.checks.push_back(check.value);
    return object;
}

bool Auf2Host::Process(Auf2Object& object) {
    if (state_->table == nullptr) return false;
    // The picture must hold what the size promises: the module reads and
    // writes exactly width x height pixels through the services.
    if (object.width >= 0 && object.height >= 0 &&
        object.pixels.size() != static_cast<std::size_t>(object.width) * static_cast<std::size_t>(object.height))
        return false;
    Auf2SceneInfo scene{1920, 1080, 30, 1, 48000};
    Auf2ObjectInfo info{};
    info.Id = object.id;
    info.EffectId = object.effectId;
    info.Width = object.width;
    info.Height = object.height;
    Auf2ProcVideo video{&scene, &info, GetImageData, SetImageData, nullptr, nullptr};

    std::unique_lock<std::mutex> items(state_->itemsLock);
    for (std::size_t i = 0; i < state_->items.size(); ++i)
        state_->items[i]->Value = i < object.values.size() ? object.values[i] : state_->tracks[i].value;
    for (std::size_t i = 0; i < state_->checkItems.size(); ++i)
        state_->checkItems[i]->Value = i < object.checks.size() ? object.checks[i] : state_->checks[i].value;
    object.imageReads = 0;
    object.imageWrites = 0;
    CurrentCall call{&object, &items};
    current = &call;
    const bool result = state_->table->ProcVideo(&video);
    current = nullptr;
    return result;
}

}  // namespace velgarde

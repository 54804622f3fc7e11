#include "cli/Progress.h"

#include <algorithm>
#include <cmath>

namespace velgarde {
namespace {

std::string Fixed(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

}  // namespace

std::string FormatDuration(double seconds) {
    const auto s = static_cast<std::int64_t>(std::llround(std::max(0.0, seconds)));
    char buffer[64];
    if (s >= 3600)
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    else
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld", static_cast<long long>(s / 60),
                      static_cast<long long>(s % 60));
    return buffer;
}

std::string FormatProgress(std::int64_t frames, std::int64_t total, double seconds) {
    std::string line = "frame " + std::to_string(frames);
    if (total >= 0) line += "/" + std::to_string(total);
    if (seconds > 0 && frames > 0) {
        const double fps = frames / seconds;
        line += "  " + Fixed(fps, 1) + " fps";
        if (total >= frames) line += "  " + FormatDuration((total - frames) / fps) + " left";
    }
    return line;
}

std::string FormatSummary(std::int64_t frames, int width, int height, double seconds,
                          bool image, const std::string& extra, const std::string& program) {
    std::string line = program + ": ";
    if (image)
        line += "1 image";
    else
        line += std::to_string(frames) + (frames == 1 ? " frame" : " frames");
    line += ", " + std::to_string(width) + "x" + std::to_string(height) + ", " +
            Fixed(seconds, 2) + " s";
    if (!image && seconds > 0 && frames > 0) line += ", " + Fixed(frames / seconds, 1) + " fps";
    if (!extra.empty()) line += ", " + extra;
    return line;
}

Progress::Progress(std::FILE* out, bool live, bool quiet, std::string program)
    : out_(out), program_(std::move(program)), live_(live && !quiet), quiet_(quiet), start_(Clock::now()) {}

void Progress::Start(std::int64_t total) {
    total_ = total;
    start_ = Clock::now();
    lastDraw_ = start_;
}

double Progress::Elapsed() const {
    return std::chrono::duration<double>(Clock::now() - start_).count();
}

void Progress::Frame(std::int64_t framesDone) {
    if (!live_) return;
    Draw(FormatProgress(framesDone, total_, Elapsed()), false);
}

void Progress::Step(const std::string& what, double fraction) {
    if (!live_) return;
    const std::string line =
        fraction < 0 ? what : what + "  " + std::to_string(static_cast<int>(std::min(fraction, 1.0) * 100)) + "%";
    Draw(line, fraction < 0);
}

void Progress::Draw(const std::string& line, bool force) {
    const auto now = Clock::now();
    if (!force && drawn_ && now - lastDraw_ < std::chrono::milliseconds(250)) return;
    lastDraw_ = now;
    drawn_ = true;
    // One line that rewrites itself; spaces rub out a longer previous text
    // (plain, so that Windows consoles without escape sequences show it too).
    const std::size_t pad = lineLength_ > line.size() ? lineLength_ - line.size() : 0;
    std::fprintf(out_, "\r%s%s", line.c_str(), std::string(pad, ' ').c_str());
    lineLength_ = line.size();
    std::fflush(out_);
}

void Progress::Clear() {
    if (drawn_) std::fprintf(out_, "\r%s\r", std::string(lineLength_, ' ').c_str());
    drawn_ = false;
}

void Progress::Finish(bool success, std::int64_t frames, int width, int height, bool image,
                      const std::string& extra) {
    Clear();
    if (success && !quiet_)
        std::fprintf(out_, "%s\n", FormatSummary(frames, width, height, Elapsed(), image, extra, program_).c_str());
    std::fflush(out_);
}

}  // namespace velgarde

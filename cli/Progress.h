// Progress on stderr while frames go through, and the closing summary.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace velgarde {

// "frame 120/500  37.5 fps  0:10 left"; total < 0 when unknown.
std::string FormatProgress(std::int64_t frames, std::int64_t total, double seconds);
// "velgarde: 500 frames, 640x360, 13.30 s, 37.6 fps", under the name of the
// program that ran; `extra` (if any) follows after a comma.
std::string FormatSummary(std::int64_t frames, int width, int height, double seconds,
                          bool image, const std::string& extra = "", const std::string& program = "velgarde");
// m:ss or h:mm:ss
std::string FormatDuration(double seconds);

class Progress {
public:
    // Live updates only when `live` (stderr is a terminal); the summary
    // unless `quiet`, after the program's name.
    Progress(std::FILE* out, bool live, bool quiet, std::string program = "velgarde");

    void Start(std::int64_t total);
    void Frame(std::int64_t framesDone);
    // A stage of one image: "decoding PNG 9000x6000  40%"; fraction < 0
    // when unknown.
    void Step(const std::string& what, double fraction);
    // Rubs out the live line, so that a message can be printed.
    void Clear();
    // Clears the live line; prints the summary on success.
    void Finish(bool success, std::int64_t frames, int width, int height, bool image,
                const std::string& extra = "");
    double Elapsed() const;

private:
    void Draw(const std::string& line, bool force);
    using Clock = std::chrono::steady_clock;
    std::FILE* out_;
    std::string program_;
    bool live_;
    bool quiet_;
    std::int64_t total_ = -1;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
    bool drawn_ = false;
    std::size_t lineLength_ = 0;
};

}  // namespace velgarde

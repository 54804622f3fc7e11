#include "cli/Y4mWriter.h"

namespace velgarde {

bool Y4mWriter::Fail(std::string* error) {
    *error = "write failed: " + (sink_.Error().empty() ? std::string("unknown error") : sink_.Error());
    return false;
}

bool Y4mWriter::WriteHeader(const std::string& line, std::string* error) {
    scratch_ = line;
    scratch_ += '\n';
    if (!sink_.Write(scratch_.data(), scratch_.size())) return Fail(error);
    return true;
}

bool Y4mWriter::WriteFrame(const Y4mFrame& frame, std::string* error) {
    scratch_ = "FRAME";
    scratch_ += frame.parameters;
    scratch_ += '\n';
    if (!sink_.Write(scratch_.data(), scratch_.size()) ||
        !sink_.Write(frame.data.data(), frame.data.size()))
        return Fail(error);
    return true;
}

}  // namespace velgarde

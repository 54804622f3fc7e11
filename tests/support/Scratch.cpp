#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace velgarde_test {

std::string FreshScratchFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string program = ::testing::internal::GetArgvs().empty() ? "tests" : ::testing::internal::GetArgvs()[0];
    program = std::filesystem::path(program).stem().string();
    const std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "none";
    // Parameterised names hold '/'; one folder level per case.
    std::string folder = name;
    for (char& c : folder)
        if (c == '/' || c == '\\') c = '_';
    const std::filesystem::path path = std::filesystem::path(VELGARDE_SCRATCH_ROOT) / program / folder;
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
    std::filesystem::create_directories(path, ignored);
    EXPECT_TRUE(std::filesystem::is_directory(path)) << path.string();
    return path.string();
}

std::string InFolder(const std::string& folder, const std::string& name) {
    return folder + (folder.find('\\') != std::string::npos ? "\\" : "/") + name;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace velgarde_test

#include "testsupport/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace sentrel::test {

namespace stdfs = std::filesystem;

TempDir::TempDir() {
#ifdef _WIN32
    std::random_device r;
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        stdfs::path p = stdfs::temp_directory_path() / ("sentrel-test-" + std::to_string(r()));
        if (stdfs::create_directory(p)) m_path = p.u8string();
    }
    if (m_path.empty()) throw std::runtime_error("no temporary folder");
#else
    char tmpl[] = "/tmp/sentrel-test-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
#endif
}

TempDir::~TempDir() {
    std::error_code ec;
    const stdfs::path p = stdfs::u8path(m_path);
    stdfs::permissions(p, stdfs::perms::owner_all, stdfs::perm_options::add, ec);
    stdfs::remove_all(p, ec);
}

void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
    _wputenv_s(stdfs::u8path(name).wstring().c_str(), stdfs::u8path(value).wstring().c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}

void UnsetEnv(const std::string& name) {
#ifdef _WIN32
    _wputenv_s(stdfs::u8path(name).wstring().c_str(), L"");
#else
    unsetenv(name.c_str());
#endif
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(stdfs::u8path(path), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(stdfs::u8path(path), std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace sentrel::test

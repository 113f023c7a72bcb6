#pragma once
#include <string>

namespace sentrel::test {

/// A fresh directory under /tmp, removed with its contents when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    /// Path of a file inside the directory.
    std::string File(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

/// Environment variables by UTF-8 name and value, on every platform.
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

}  // namespace sentrel::test

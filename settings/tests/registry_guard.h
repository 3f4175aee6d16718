// Saves and clears, for the length of a test, the registry keys and values the
// settings store touches (both Brenmoor trees and the start-up entry), so the
// test starts from a system without them, and puts them back afterwards.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace settings_test {

constexpr const char kBackupRoot[] = "SOFTWARE\\CorvantaTestBackup";

class TreeSnapshot {
 public:
  TreeSnapshot(HKEY root, std::string path, std::string backupName)
      : root_(root), path_(std::move(path)), backup_(std::string(kBackupRoot) + "\\" + backupName) {
    HKEY key = nullptr;
    existed_ = RegOpenKeyExA(root_, path_.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (!existed_) return;
    HKEY backup = nullptr;
    RegDeleteTreeA(HKEY_CURRENT_USER, backup_.c_str());
    RegCreateKeyExA(HKEY_CURRENT_USER, backup_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &backup, nullptr);
    RegCopyTreeA(key, nullptr, backup);
    RegCloseKey(backup);
    RegCloseKey(key);
    RegDeleteTreeA(root_, path_.c_str());
    RegDeleteKeyA(root_, path_.c_str());
  }
  ~TreeSnapshot() {
    RegDeleteTreeA(root_, path_.c_str());
    RegDeleteKeyA(root_, path_.c_str());
    if (!existed_) return;
    HKEY key = nullptr;
    HKEY backup = nullptr;
    RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (RegOpenKeyExA(HKEY_CURRENT_USER, backup_.c_str(), 0, KEY_READ, &backup) == ERROR_SUCCESS) {
      RegCopyTreeA(backup, nullptr, key);
      RegCloseKey(backup);
    }
    RegCloseKey(key);
    RegDeleteTreeA(HKEY_CURRENT_USER, backup_.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, backup_.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, kBackupRoot);
  }
  TreeSnapshot(const TreeSnapshot&) = delete;
  TreeSnapshot& operator=(const TreeSnapshot&) = delete;

 private:
  HKEY root_;
  std::string path_;
  std::string backup_;
  bool existed_ = false;
};

class ValueSnapshot {
 public:
  ValueSnapshot(HKEY root, const char* path, const char* name) : root_(root), path_(path), name_(name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root_, path_, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    DWORD size = 0;
    if (RegQueryValueExA(key, name_, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
      data_.resize(size);
      existed_ = RegQueryValueExA(key, name_, nullptr, &type_, data_.data(), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    if (existed_ && RegOpenKeyExA(root_, path_, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, name_);
      RegCloseKey(key);
    }
  }
  ~ValueSnapshot() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root_, path_, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (existed_)
      RegSetValueExA(key, name_, 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
    else
      RegDeleteValueA(key, name_);
    RegCloseKey(key);
  }
  ValueSnapshot(const ValueSnapshot&) = delete;
  ValueSnapshot& operator=(const ValueSnapshot&) = delete;

 private:
  HKEY root_;
  const char* path_;
  const char* name_;
  DWORD type_ = 0;
  std::vector<BYTE> data_;
  bool existed_ = false;
};

struct RegistryGuard {
  TreeSnapshot machine{HKEY_LOCAL_MACHINE, "SOFTWARE\\Brenmoor", "machine"};
  TreeSnapshot shared{HKEY_USERS, ".DEFAULT\\SOFTWARE\\Brenmoor", "shared"};
  ValueSnapshot run{HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Corvanta"};
};

// Small helpers for building registry state directly.
inline void createKey(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (key) RegCloseKey(key);
}

inline bool keyExists(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

inline void setRaw(HKEY root, const std::string& path, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

inline void setDword(HKEY root, const std::string& path, const char* name, DWORD value) {
  setRaw(root, path, name, REG_DWORD, &value, sizeof value);
}

// Returns -2 when the value is missing, so a stored -1 can be told apart.
inline long long readDword(HKEY root, const std::string& path, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return -2;
  DWORD value = 0;
  DWORD size = sizeof value;
  const LONG status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? static_cast<long long>(value) : -2;
}

constexpr const char kMachineKey[] = "SOFTWARE\\Brenmoor\\Corvanta";
constexpr const char kSharedKey[] = ".DEFAULT\\SOFTWARE\\Brenmoor\\Corvanta";

inline std::string machinePrinter(const std::string& name) { return std::string(kMachineKey) + "\\" + name; }
inline std::string sharedPrinter(const std::string& name) { return std::string(kSharedKey) + "\\" + name; }

}  // namespace settings_test

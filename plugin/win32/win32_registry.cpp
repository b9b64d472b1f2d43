#include "shell.h"

namespace corvil::plugin::win32 {

namespace {
HKEY rootOf(Registry::Hive hive) {
    return hive == Registry::Hive::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER;
}
} // namespace

long Win32Registry::open(Hive hive, const std::string &path, Key &key) {
    HKEY k = nullptr;
    const LONG error = ::RegOpenKeyExA(rootOf(hive), path.c_str(), 0, KEY_READ, &k);
    key = k;
    return error;
}

long Win32Registry::create(Hive hive, const std::string &path, Key &key) {
    // The class registration asks for full access; the settings only write.
    const REGSAM access = hive == Hive::ClassesRoot ? KEY_ALL_ACCESS : KEY_WRITE;
    HKEY k = nullptr;
    char noClass[] = "";
    const LONG error = ::RegCreateKeyExA(rootOf(hive), path.c_str(), 0, noClass, REG_OPTION_NON_VOLATILE, access,
                                         nullptr, &k, nullptr);
    key = k;
    return error;
}

long Win32Registry::query(Key key, const std::string &name, char *out, std::uint32_t &size) {
    DWORD bytes = size;
    const LONG error =
        ::RegQueryValueExA(static_cast<HKEY>(key), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE *>(out), &bytes);
    size = bytes;
    return error;
}

long Win32Registry::setString(Key key, const std::string &name, const char *text, std::uint32_t bytes) {
    return ::RegSetValueExA(static_cast<HKEY>(key), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE *>(text), bytes);
}

void Win32Registry::close(Key key) { ::RegCloseKey(static_cast<HKEY>(key)); }

long Win32Registry::remove(Hive hive, const std::string &path) { return ::RegDeleteKeyA(rootOf(hive), path.c_str()); }

bool Win32ModulePath::find(const char *moduleName, std::string &path, std::uint32_t size) {
    HMODULE module = ::GetModuleHandleA(moduleName);
    if (!module || size == 0) return false;
    std::string buffer(size, '\0');
    const DWORD n = ::GetModuleFileNameA(module, buffer.data(), size);
    // A path that filled the buffer was cut: registering it would name
    // another file.
    if (n == 0 || n >= size) return false;
    path.assign(buffer.data(), n);
    return true;
}

} // namespace corvil::plugin::win32

// The plug-in's Windows shell: the real registry, the module's path, the
// modal dialogs and the unit windows over USER32 and GDI32, each behind the
// seam the core defines. Templates and strings come from the plug-in's own
// module.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "CUnitDlg.h"
#include "dialogs.h"
#include "seams.h"

namespace corvil::plugin::win32 {

class Win32Registry : public Registry {
public:
    long open(Hive hive, const std::string &path, Key &key) override;
    long create(Hive hive, const std::string &path, Key &key) override;
    long query(Key key, const std::string &name, char *out, std::uint32_t &size) override;
    long setString(Key key, const std::string &name, const char *text, std::uint32_t bytes) override;
    void close(Key key) override;
    long remove(Hive hive, const std::string &path) override;
};

class Win32ModulePath : public ModulePath {
public:
    bool find(const char *moduleName, std::string &path, std::uint32_t size) override;
};

class Win32Dialogs : public Dialogs {
public:
    explicit Win32Dialogs(HINSTANCE instance) : instance_(instance) {}
    int runModal(int templateId, HostWindow parent, DialogHandler &handler) override;
    std::string loadString(int id) override;

private:
    HINSTANCE instance_;
};

class Win32WindowSystem : public WindowSystem {
public:
    explicit Win32WindowSystem(HINSTANCE instance) : instance_(instance) {}
    std::unique_ptr<UnitWindowView> createUnitWindow(HostWindow parent, UnitWindowEvents &events) override;
    void focus(HostWindow window) override;
    Rect workArea() override;

private:
    HINSTANCE instance_;
};

} // namespace corvil::plugin::win32

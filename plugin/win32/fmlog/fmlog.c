/* A stand-in for the analyser host's logging library, so that the plug-in
 * loads and its log lines can be read where the host is not installed: each
 * line is appended, with its level, to the file named by FMLOG_FILE, or to
 * FMLOG.log in the user's application data, %APPDATA%\Tolvane\fathom-host
 * (beside fathom-host's units: a program under Program Files may not write
 * beside itself). */
#include <windows.h>
#include <shlobj.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

static void logPath(char *path, DWORD size) {
    DWORD n = GetEnvironmentVariableA("FMLOG_FILE", path, size);
    if (n > 0 && n < size) return;
    char appData[MAX_PATH];
    if (FAILED(SHGetFolderPathA(NULL, CSIDL_APPDATA | CSIDL_FLAG_CREATE, NULL, 0, appData)) ||
        strlen(appData) + sizeof "\\Tolvane\\fathom-host\\FMLOG.log" > size) {
        strcpy(path, "FMLOG.log");
        return;
    }
    strcpy(path, appData);
    strcat(path, "\\Tolvane");
    CreateDirectoryA(path, NULL);
    strcat(path, "\\fathom-host");
    CreateDirectoryA(path, NULL);
    strcat(path, "\\FMLOG.log");
}

void __cdecl _log(int level, const char *format, ...) {
    char path[MAX_PATH];
    logPath(path, sizeof path);
    FILE *file = fopen(path, "a");
    if (!file) return;
    fprintf(file, "[%d] ", level);
    va_list args;
    va_start(args, format);
    vfprintf(file, format ? format : "", args);
    va_end(args);
    if (!format || !*format || format[strlen(format) - 1] != '\n') fputc('\n', file);
    fclose(file);
}

/* A stand-in for the analyser host's logging library, so that the plug-in
 * loads and its log lines can be read where the host is not installed: each
 * line is appended, with its level, to the file named by FMLOG_FILE, or to
 * FMLOG.log beside the program. */
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

static void logPath(char *path, DWORD size) {
    DWORD n = GetEnvironmentVariableA("FMLOG_FILE", path, size);
    if (n > 0 && n < size) return;
    n = GetModuleFileNameA(NULL, path, size);
    if (n == 0 || n >= size) {
        strcpy(path, "FMLOG.log");
        return;
    }
    char *slash = strrchr(path, '\\');
    char *name = slash ? slash + 1 : path;
    if ((DWORD)(name - path) + sizeof "FMLOG.log" > size) {
        strcpy(path, "FMLOG.log");
        return;
    }
    strcpy(name, "FMLOG.log");
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

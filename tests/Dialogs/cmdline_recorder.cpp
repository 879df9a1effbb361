// Helper of the dialog tests: the shell's "open" command of mailto points
// here as  "cmdline_recorder.exe" "OUTFILE" %1  and the address (which holds
// double quotes and blanks) is appended to OUTFILE exactly as the command
// line carries it after OUTFILE, with a line break.
#include <windows.h>

#include <cstdio>
#include <string>

// The command line after its first n arguments (quoted or plain) and the blank after them.
static const wchar_t* SkipArgs(const wchar_t* p, int n)
{
    for (int i = 0; i < n; ++i) {
        while (*p == L' ')
            ++p;
        if (*p == L'"') {
            ++p;
            while (*p && *p != L'"')
                ++p;
            if (*p)
                ++p;
        } else {
            while (*p && *p != L' ')
                ++p;
        }
    }
    return *p == L' ' ? p + 1 : p;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    FILE* f = _wfopen(argv[1], L"ab");
    if (!f)
        return 1;
    const wchar_t* rest = SkipArgs(GetCommandLineW(), 2);
    char buf[4096];
    int n = WideCharToMultiByte(CP_UTF8, 0, rest, -1, buf, sizeof buf, nullptr, nullptr);
    if (n > 0)
        fprintf(f, "%s\n", buf);
    fclose(f);
    return 0;
}

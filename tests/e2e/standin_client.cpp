// Plays a running Folding@Home client in one client folder, for the
// end-to-end run and for script/run's sample folders:
//
//   standin_client.exe FOLDER SOURCE_LOG UPTO [STOP] [SECONDS]
//
// Writes FOLDER\FAHlog.txt from a real log, up to and including the first
// line that contains UPTO, with the log's clock moved so that this line
// reads the current time (UTC, as clients write it). It keeps the file open
// for writing (readers allowed, as a client does), and every 3 s appends the
// next line of the real log stamped with the time of writing, until a line
// containing STOP (not written) or the end of the log; then it only holds
// the file. It ends after SECONDS (default: never) or when it is killed.
// Line ends are kept as the real log has them.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kAppendEvery = 3000;
constexpr int kDaySeconds = 24 * 3600;

std::string ReadAll(const wchar_t* path)
{
    std::string bytes;
    HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return bytes;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0)
        bytes.append(buf, got);
    CloseHandle(f);
    return bytes;
}

// The lines with their own line ends.
std::vector<std::string> SplitKeepingEnds(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Seconds of the day of a line starting with "[hh:mm:ss]", or -1.
int StampOf(const std::string& line)
{
    if (line.size() < 10 || line[0] != '[' || line[3] != ':' || line[6] != ':' || line[9] != ']')
        return -1;
    for (int i : {1, 2, 4, 5, 7, 8})
        if (!IsDigit(line[i]))
            return -1;
    int h = (line[1] - '0') * 10 + (line[2] - '0');
    int m = (line[4] - '0') * 10 + (line[5] - '0');
    int s = (line[7] - '0') * 10 + (line[8] - '0');
    if (h > 23 || m > 59 || s > 59)
        return -1;
    return h * 3600 + m * 60 + s;
}

std::string WithStamp(const std::string& line, int seconds)
{
    if (StampOf(line) < 0)
        return line;
    seconds = ((seconds % kDaySeconds) + kDaySeconds) % kDaySeconds;
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "[%02d:%02d:%02d]", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return stamp + line.substr(10);
}

int NowSeconds()
{
    SYSTEMTIME t;
    GetSystemTime(&t);
    return t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
}

std::string Narrow(const wchar_t* s)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, s, -1, out.data(), n, nullptr, nullptr);
    return out;
}

bool WriteText(HANDLE file, const std::string& text)
{
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: standin_client FOLDER SOURCE_LOG UPTO [STOP] [SECONDS]\n");
        return 2;
    }
    std::wstring folder = argv[1];
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    const std::vector<std::string> lines = SplitKeepingEnds(ReadAll(argv[2]));
    if (lines.empty()) {
        std::fprintf(stderr, "standin_client: cannot read %s\n", Narrow(argv[2]).c_str());
        return 3;
    }
    const std::string upto = Narrow(argv[3]);
    const std::string stop = argc > 4 ? Narrow(argv[4]) : std::string();
    const DWORD lifetime = argc > 5 ? static_cast<DWORD>(_wtoi(argv[5])) * 1000 : INFINITE;

    size_t cut = lines.size() - 1;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find(upto) != std::string::npos) {
            cut = i;
            break;
        }
    // Move the clock: the cut line (or the last stamped line above it) reads now.
    int offset = 0;
    for (size_t i = cut + 1; i-- > 0;)
        if (int s = StampOf(lines[i]); s >= 0) {
            offset = NowSeconds() - s;
            break;
        }
    std::string head;
    for (size_t i = 0; i <= cut; ++i) {
        int s = StampOf(lines[i]);
        head += s >= 0 ? WithStamp(lines[i], s + offset) : lines[i];
    }

    std::wstring log = folder + L"FAHlog.txt";
    HANDLE file = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "standin_client: cannot write %s (%lu)\n", Narrow(log.c_str()).c_str(),
                     GetLastError());
        return 4;
    }
    WriteText(file, head);
    FlushFileBuffers(file);

    const DWORD started = GetTickCount();
    size_t next = cut + 1;
    for (;;) {
        DWORD elapsed = GetTickCount() - started;
        if (lifetime != INFINITE && elapsed >= lifetime)
            break;
        DWORD wait = kAppendEvery;
        if (lifetime != INFINITE && lifetime - elapsed < wait)
            wait = lifetime - elapsed;
        Sleep(wait);
        if (next >= lines.size() || (!stop.empty() && lines[next].find(stop) != std::string::npos))
            continue;   // the unit goes on quietly: only hold the file
        WriteText(file, WithStamp(lines[next], NowSeconds()));
        FlushFileBuffers(file);
        ++next;
    }
    CloseHandle(file);
    return 0;
}

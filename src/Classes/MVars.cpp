#include "Classes/MVars.h"

#include "platform/FileUtil.h"

namespace {

struct TDataPaths {
    std::string appDir, dataDir, psummary, psummaryTmp, upload, uploadTmp, uploadLoc, lastVerTmp;

    void SetFor(const std::string& dir)
    {
        appDir = dir.empty() ? std::string() : IncludeTrailingPathDelimiter(dir);
        dataDir = appDir + "Data\\";
        psummary = dataDir + "psummary.html";
        psummaryTmp = dataDir + "psummary.tmp";
        upload = dataDir + "upload.dat";
        uploadTmp = dataDir + "upload.tmp";
        uploadLoc = dataDir + "upload_loc.dat";
        lastVerTmp = dataDir + "lastver.tmp";
    }
};

TDataPaths& Paths()
{
    static TDataPaths paths = [] {
        TDataPaths p;
        p.SetFor(ExeFolder());
        return p;
    }();
    return paths;
}

// The folder is made when the program starts, not when a path is first asked for.
struct TStartup {
    TStartup()
    {
        try {
            EnsureDataDir();
        } catch (...) {
            // Nothing to report yet: the first write into the folder will.
        }
    }
} g_startup;

}  // namespace

const std::string& AppDir() { return Paths().appDir; }
const std::string& DataDir() { return Paths().dataDir; }
const std::string& PSummaryFile() { return Paths().psummary; }
const std::string& PSummaryTmpFile() { return Paths().psummaryTmp; }
const std::string& UploadFile() { return Paths().upload; }
const std::string& UploadTmpFile() { return Paths().uploadTmp; }
const std::string& UploadLocFile() { return Paths().uploadLoc; }
const std::string& LastVerTmpFile() { return Paths().lastVerTmp; }

bool SetAppDir(const std::string& dir)
{
    Paths().SetFor(dir);
    return EnsureDataDir();
}

bool EnsureDataDir()
{
    const std::string& dir = Paths().dataDir;
    if (DirectoryExists(dir))
        return true;
    return ForceDirectories(dir);
}

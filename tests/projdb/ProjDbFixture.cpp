#include "ProjDbFixture.h"

#include "Classes/Lang.h"
#include "Classes/MVars.h"
#include "Classes/ProjectInfo.h"
#include "platform/DateTime.h"
#include "platform/FileUtil.h"

namespace projdb_test {

void DataFolderTest::SetUp()
{
    SetUserLanguageIdForTesting(0x0409);
    InitLanguage();
    ASSERT_EQ(CurrentLanguage, 1);
    TFormatSettings& fs = FormatSettings();
    savedDecimal_ = fs.decimalSeparator;
    savedThousands_ = fs.thousandSeparator;
    fs.decimalSeparator = '.';
    fs.thousandSeparator = ",";

    appDir_ = std::make_unique<testing_support::TempDir>("projdb");
    ASSERT_TRUE(SetAppDir(appDir_->Path()));
    ASSERT_TRUE(DirectoryExists(DataDir()));
    InitProjectDatabase();
}

void DataFolderTest::TearDown()
{
    SetAppDir(ExeFolder());
    InitProjectDatabase();
    appDir_.reset();
    FormatSettings().decimalSeparator = savedDecimal_;
    FormatSettings().thousandSeparator = savedThousands_;
    SetUserLanguageIdForTesting(0);
}

std::string DataFolderTest::DataFile(const std::string& name) const { return DataDir() + name; }

void DataFolderTest::PutDataFile(const std::string& name, const std::string& bytes) const
{
    testing_support::WriteFile(DataFile(name), bytes);
}

std::string DataFolderTest::RealPage()
{
    return testing_support::ReadFile(testing_support::RealDataFile("psummary-2009-newformat-kfactor.html"));
}

}  // namespace projdb_test

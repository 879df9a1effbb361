// A program folder of its own for every test: the data folder lives in a
// temporary folder, the database is loaded afresh from it, and the texts are
// English with "." and "," as separators.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/TestSupport.h"

namespace projdb_test {

class DataFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A file of the data folder.
    std::string DataFile(const std::string& name) const;
    // Writes a file into the data folder.
    void PutDataFile(const std::string& name, const std::string& bytes) const;
    // The real summary page's text.
    static std::string RealPage();

    std::unique_ptr<testing_support::TempDir> appDir_;

private:
    char savedDecimal_ = '.';
    std::string savedThousands_;
};

}  // namespace projdb_test

// A key of the current user's registry that nobody may open: made (when
// missing) and given an empty access list; full access again when the
// object goes. Settings kept under it can be neither read nor written.
#pragma once
#include <string>

namespace testing_support {

class RegistryLock {
public:
    explicit RegistryLock(const std::string& path);
    ~RegistryLock();
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;
    // The access list was set.
    bool Locked() const { return locked_; }

private:
    bool SetAccessList(bool empty);
    std::string path_;
    bool locked_ = false;
};

}  // namespace testing_support

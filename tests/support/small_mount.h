// A small memory file system mounted on a folder for one test (mounting needs the superuser,
// as the suites have in CI; tests skip when mounted() is false). Unmounted when it goes.
#pragma once

#include <sys/mount.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace marrowdale_test {

class SmallMount {
  public:
    // `options` as for tmpfs, e.g. "size=256k". The folder is made when missing.
    SmallMount(const std::string& where, const char* options) : where_(where) {
        std::error_code ec;
        std::filesystem::create_directories(where_, ec);
        mounted_ = ::mount("marrowdale-test", where_.c_str(), "tmpfs", 0, options) == 0;
    }
    ~SmallMount() {
        if (mounted_)
            ::umount2(where_.c_str(), MNT_DETACH);
    }
    SmallMount(const SmallMount&) = delete;
    SmallMount& operator=(const SmallMount&) = delete;

    bool mounted() const { return mounted_; }
    bool makeReadOnly() {
        return ::mount("marrowdale-test", where_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY,
                       nullptr) == 0;
    }

  private:
    std::string where_;
    bool mounted_ = false;
};

}  // namespace marrowdale_test

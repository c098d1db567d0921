#include "platform/files.h"

namespace pagewash::platform {

namespace {

class FileErrorCategory final : public std::error_category {
  public:
    const char* name() const noexcept override { return "pagewash file"; }
    std::string message(int value) const override {
        switch (static_cast<FileError>(value)) {
            case FileError::NotRegularFile:
                return "not a regular file";
        }
        return "unknown file error";
    }
};

}  // namespace

const std::error_category& fileErrorCategory() {
    static const FileErrorCategory category;
    return category;
}

std::error_code make_error_code(FileError error) { return {static_cast<int>(error), fileErrorCategory()}; }

}  // namespace pagewash::platform

#include "convert/run/rejects.h"

#include <tuple>

#include "io/open_file.h"
#include "io/write_all.h"

namespace rowsmith {

int RejectsFile::Open(const std::string& path, const std::string& inputName) {
    path_ = path;
    inputName_ = inputName;
    failed_ = path;
    if (const int error = OpenAnew(path, data_)) return error;
    failed_ = LogPath(path);
    if (const int error = OpenAnew(failed_, log_)) return error;
    failed_.clear();
    return 0;
}

int RejectsFile::Add(std::string_view bytes, std::uint64_t line, std::string_view reason) {
    dataHeld_.append(bytes).push_back('\n');
    logHeld_.append(inputName_).append(":").append(std::to_string(line)).append(": ").append(reason).push_back('\n');
    if (dataHeld_.size() < kHeld && logHeld_.size() < kHeld) return 0;
    return Flush();
}

int RejectsFile::Flush() {
    for (auto [fd, held, name] :
         {std::tuple{data_.get(), &dataHeld_, path_}, std::tuple{log_.get(), &logHeld_, LogPath(path_)}}) {
        if (held->empty()) continue;
        const int error = WriteAll(fd, held->data(), held->size());
        held->clear();
        if (error != 0) {
            failed_ = name;
            return error;
        }
    }
    return 0;
}

}  // namespace rowsmith

// test_support.h's helpers for other processes, on Windows: a process has
// no root's rights to give up there, so a check runs as the user it is.
#include "test_support.h"

namespace rowsmith::test {

bool AsUnprivilegedUser(const std::function<bool()>& check) {
    return check();
}

}  // namespace rowsmith::test

#pragma once

#include <cstddef>

namespace rowsmith {

// One entry of a window's command table: a control or command ID and the
// member function that handles it.
template <typename Owner>
struct CommandEntry {
    int id;
    void (Owner::*handler)();
};

// Runs the handler the table binds to id; false when there is none.
template <typename Owner, std::size_t N>
bool DispatchCommand(Owner& owner, const CommandEntry<Owner> (&table)[N], int id) {
    for (const CommandEntry<Owner>& entry : table) {
        if (entry.id == id) {
            (owner.*entry.handler)();
            return true;
        }
    }
    return false;
}

}  // namespace rowsmith

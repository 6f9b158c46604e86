// What the C library allocates for the caller (a path, an X reply or event):
// freed with free() when its owner's scope ends.
#pragma once

#include <cstdlib>

namespace vantle_native::linux_room {

struct Freed {
    void operator()(void* block) const { std::free(block); }
};

}  // namespace vantle_native::linux_room

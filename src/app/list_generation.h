#pragma once

// Every clearing of the song list starts a new generation of rows. A job notes
// the generation it fills or reads and checks it on the window's thread in the
// same step as each access, so a job never touches the rows of a later list.

#include <cstdint>

namespace melvara::app {

std::int32_t CurrentListGeneration();

// Call on the window's thread, together with clearing the list.
std::int32_t StartNewListGeneration();

}  // namespace melvara::app

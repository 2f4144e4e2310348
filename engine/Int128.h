#pragma once

namespace engine {

// Cluster arithmetic in 128 bits: no sum or product of the 64-bit figures a
// plug-in reports can overflow it.
__extension__ using Int128 = __int128;

} // namespace engine

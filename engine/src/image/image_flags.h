// The per-byte flag bits kept in each image cell above the byte itself.
#pragma once

#include <cstdint>

#include "brevin/hub_memory.h"

namespace brevin {

namespace flag {
inline constexpr std::uint32_t Byte = 0x00000100;  // a byte-sized data item starts here
inline constexpr std::uint32_t Word = 0x00000200;  // a word-sized data item starts here
inline constexpr std::uint32_t Long = 0x00000400;  // a long-sized data item starts here
inline constexpr std::uint32_t Link = 0x00000800;  // an object-table entry starts here
inline constexpr std::uint32_t JmpF = 0x00001000;  // destination of a jump taken when false
inline constexpr std::uint32_t JmpT = 0x00002000;  // destination of a jump taken when true
inline constexpr std::uint32_t Goto = 0x00003000;  // both: unconditional jump destination
inline constexpr std::uint32_t Call = 0x00004000;  // Spin method or assembler routine entry
inline constexpr std::uint32_t Pads = 0x00008000;  // alignment padding (with Word or Byte)
inline constexpr std::uint32_t Xobj = 0x00010000;  // first long of a sub-object
inline constexpr std::uint32_t Xfun = 0x00020000;  // method entry whose result is used
inline constexpr std::uint32_t Aret = 0x00040000;  // return location of an assembler routine
inline constexpr std::uint32_t Aray = 0x00080000;  // element of a run classified without a reference
inline constexpr std::uint32_t Adat = 0x00100000;  // long used as data by assembler code
inline constexpr std::uint32_t Org0 = 0x01000000;  // first long of an assembler block
inline constexpr std::uint32_t Asmb = 0x02000000;  // long holding an assembler instruction
inline constexpr std::uint32_t Spin = 0x04000000;  // byte of Spin bytecode
inline constexpr std::uint32_t Done = 0x08000000;  // byte is listed as part of an item

inline constexpr std::uint32_t AnyItem = 0x00000F00;      // Byte, Word, Long or Link
inline constexpr std::uint32_t AnyDest = 0x00007000;      // any jump or call destination
inline constexpr std::uint32_t DoneOrItem = 0x08000F00;   // Done or any item flag
}  // namespace flag

}  // namespace brevin

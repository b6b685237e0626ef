// The developer's record of Spin opcodes and effects not yet met in any analysis,
// kept in the settings sections "Debug Opc" and "Debug Eff": one key per index,
// two hexadecimal digits, empty when seen, else the opcode or effect it names.
#pragma once

#include <QString>
#include <array>

namespace brevin {

class SettingsStore;

using SeenFlags = std::array<bool, 256>;

// Start-up: outside developer mode every flag is set. In developer mode, a
// missing or empty "Flag" key clears them all; otherwise a flag is set exactly
// when its key is missing or empty.
void LoadDebugFlags(const SettingsStore& store, bool developerMode, SeenFlags& opcodeSeen, SeenFlags& effectSeen);

// Exit, developer mode only: "Flag" gets the time stamp, each key the empty text
// when seen, else the mnemonic and operand format (opcodes) or the name (effects).
void SaveDebugFlags(SettingsStore& store, const SeenFlags& opcodeSeen, const SeenFlags& effectSeen,
                    const QString& stamp);

}  // namespace brevin

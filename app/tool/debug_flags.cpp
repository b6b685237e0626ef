#include "tool/debug_flags.h"

#include "brevin/reports.h"
#include "window/settings_store.h"

namespace brevin {

namespace {

constexpr const char* kOpcodeSection = "Debug Opc";
constexpr const char* kEffectSection = "Debug Eff";

QString IndexKey(int i) { return QString("%1").arg(i, 2, 16, QChar('0')).toUpper(); }

}  // namespace

void LoadDebugFlags(const SettingsStore& store, bool developerMode, SeenFlags& opcodeSeen, SeenFlags& effectSeen) {
  if (!developerMode) {
    opcodeSeen.fill(true);
    effectSeen.fill(true);
    return;
  }
  if (store.ReadText(kOpcodeSection, "Flag").isEmpty()) {
    opcodeSeen.fill(false);
    effectSeen.fill(false);
    return;
  }
  for (int i = 0; i < 256; ++i) {
    const QString key = IndexKey(i);
    opcodeSeen[static_cast<std::size_t>(i)] = store.ReadText(kOpcodeSection, key).isEmpty();
    effectSeen[static_cast<std::size_t>(i)] = store.ReadText(kEffectSection, key).isEmpty();
  }
}

void SaveDebugFlags(SettingsStore& store, const SeenFlags& opcodeSeen, const SeenFlags& effectSeen,
                    const QString& stamp) {
  store.WriteText(kOpcodeSection, "Flag", stamp);
  for (int i = 0; i < 256; ++i) {
    const auto at = static_cast<std::size_t>(i);
    const QString key = IndexKey(i);
    store.WriteText(kOpcodeSection, key,
                    opcodeSeen[at] ? QString()
                                   : QString::fromStdString(SpinOpcodeDefinition(i)));
    store.WriteText(kEffectSection, key,
                    effectSeen[at] ? QString() : QString::fromStdString(std::string(SpinEffectName(i))));
  }
  store.Sync();
}

}  // namespace brevin

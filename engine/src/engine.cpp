// The facade: every call goes to the working class it owns.
#include "brevin/engine.h"

#include "brevin/text.h"
#include "disassembler.h"

namespace brevin {

std::string UntracedMethodsText(const LoadResult& result, const Options& options) {
  if (options.TraceAllMethods || result.status != LoadStatus::Listed || result.untracedMethods <= 0) return {};
  return DecText(result.untracedMethods) + " of " + DecText(result.methodEntries) +
         (result.untracedMethods == 1 ? " methods is" : " methods are") + " not called from the program";
}

Engine::Engine(Host& host) : work_(std::make_unique<Disassembler>(host)) {}
Engine::~Engine() = default;

LoadResult Engine::LoadAndDisassemble(const std::string& path, bool autoReloaded, bool acceptChecksum) {
  return work_->LoadAndDisassemble(path, autoReloaded, acceptChecksum);
}

LoadResult Engine::DisassembleBytes(const std::string& path, std::span<const std::uint8_t> bytes, bool autoReloaded,
                                    bool acceptChecksum) {
  return work_->DisassembleBytes(path, bytes, autoReloaded, acceptChecksum);
}

LoadResult Engine::DisassembleFile(const std::string& path, std::span<const std::uint8_t> bytes,
                                   std::optional<std::uint64_t> fileSize, bool autoReloaded, bool acceptChecksum) {
  return work_->DisassembleFile(path, bytes, fileSize, autoReloaded, acceptChecksum);
}

std::string Engine::ListImageFlags() const { return work_->ListImageFlags(); }
const std::array<bool, 256>& Engine::SeenOpcodes() const { return work_->SeenOpcodes(); }
const std::array<bool, 256>& Engine::SeenEffects() const { return work_->SeenEffects(); }
void Engine::SetSeenFlags(const std::array<bool, 256>& opcodes, const std::array<bool, 256>& effects) {
  work_->SetSeenFlags(opcodes, effects);
}
bool Engine::SourceWarningIsArmed() const { return work_->SourceWarningIsArmed(); }
void Engine::ArmSourceWarning(bool armed) { work_->ArmSourceWarning(armed); }

}  // namespace brevin

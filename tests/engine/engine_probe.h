// The engine tests' one way into the working state behind the Engine facade:
// Disassembler befriends this class, which makes the members the tests read and
// drive public again. Code outside the tests has only the facade: options in, model out.
#pragma once

#include "disassembler.h"

namespace brevin::test {

class EngineProbe : public Disassembler {
 public:
  using Disassembler::Disassembler;

  // A load hands its listing over to the result; the probe keeps a copy in the
  // working state too, where the tests read it.
  LoadResult LoadAndDisassemble(const std::string& path, bool autoReloaded, bool acceptChecksum = false) {
    return KeepListing(Disassembler::LoadAndDisassemble(path, autoReloaded, acceptChecksum));
  }
  LoadResult DisassembleBytes(const std::string& path, std::span<const std::uint8_t> bytes, bool autoReloaded,
                              bool acceptChecksum = false) {
    return KeepListing(Disassembler::DisassembleBytes(path, bytes, autoReloaded, acceptChecksum));
  }
  LoadResult KeepListing(LoadResult result) {
    if (result.analysis) Listing = result.analysis->listing;
    return result;
  }
  using Disassembler::AnalyseImage; using Disassembler::WriteListing; using Disassembler::SetSection; using Disassembler::ListMarker;
  using Disassembler::ResetForLoad; using Disassembler::LoadImageBytes; using Disassembler::ByteAt; using Disassembler::WordAt;
  using Disassembler::LongAt; using Disassembler::FlagsAt; using Disassembler::HasFlag; using Disassembler::SetFlag;
  using Disassembler::NoteVarId; using Disassembler::ClearVarIds; using Disassembler::ClearFlag; using Disassembler::ReadByte;
  using Disassembler::ReadWord; using Disassembler::ReadLong; using Disassembler::ImageChecksum; using Disassembler::SetIfZero;
  using Disassembler::ChecksumMatches; using Disassembler::EntryTarget; using Disassembler::EntryWord2; using Disassembler::WalkObjects;
  using Disassembler::MarkPadding; using Disassembler::CheckHeaderAddresses; using Disassembler::FormatLine;
  using Disassembler::CurrentLine; using Disassembler::EmitBlankLine; using Disassembler::WriteRawLine; using Disassembler::WriteTitleBlock;
  using Disassembler::ListHeaderBlock; using Disassembler::ListDataLine; using Disassembler::ListDataItem;
  using Disassembler::ListSubPartEquates; using Disassembler::ListEquate; using Disassembler::StartAsmBlock;
  using Disassembler::FlushAsmVars; using Disassembler::ListAsmBlockStart; using Disassembler::LabelText;
  using Disassembler::InterpretFormat; using Disassembler::ClockModeText;
  using Disassembler::AnnotateSize; using Disassembler::ReadPastEnd; using Disassembler::SymbolName; using Disassembler::PlainName;
  using Disassembler::HubName; using Disassembler::RelName; using Disassembler::VarName; using Disassembler::NumberSymbols;
  using Disassembler::AssignSymbol; using Disassembler::ListSymbolTable; using Disassembler::ListSpinInstruction;
  using Disassembler::TraceSpinInstruction; using Disassembler::SpreadSpinMark; using Disassembler::PrintBytes; using Disassembler::TraceSpin; using Disassembler::LaunchAssembly;
  using Disassembler::ReportProblem; using Disassembler::ListAsmInstruction; using Disassembler::TraceAsmInstruction;
  using Disassembler::IsAsmData; using Disassembler::NumberCogVariable; using Disassembler::RegName; using Disassembler::TraceAssembly;
  using Disassembler::AsmVarCounter; using Disassembler::ClassifyByteRuns; using Disassembler::ClassifyVariables;
  using Disassembler::ListStackFrame; using Disassembler::ListObjectList; using Disassembler::ListObjectRow; using Disassembler::EmitLine;
  using Disassembler::FlushPendingLines; using Disassembler::MergeWithPrevious; using Disassembler::FoldCallArguments;
  using Disassembler::FoldIndexes; using Disassembler::FoldCallsAndReturns; using Disassembler::FoldSpecialRegister;
  using Disassembler::FoldOperators; using Disassembler::PendingBefore; using Disassembler::PrepareSource;
  using Disassembler::InsertMethodSource; using Disassembler::NextMethodSource; using Disassembler::EmitMethodSource;
  using Disassembler::SourceLines; using Disassembler::BuildAnalysis; using Disassembler::DebugAppend; using Disassembler::DebugLine;
  using Disassembler::DebugDefer; using Disassembler::Image; using Disassembler::ClockFreq; using Disassembler::ClockMode;
  using Disassembler::Checksum; using Disassembler::PBASE; using Disassembler::VBASE; using Disassembler::SBASE; using Disassembler::PINIT;
  using Disassembler::SINIT; using Disassembler::VENDS; using Disassembler::ObjBase; using Disassembler::ObjVarBase;
  using Disassembler::ReadCursor; using Disassembler::ReadLimit; using Disassembler::ImageEnd;
  using Disassembler::SymbolIds; using Disassembler::VarIds; using Disassembler::LocalAccess; using Disassembler::ReferencedFrom;
  using Disassembler::PairedWith; using Disassembler::UsedLetters; using Disassembler::LocalCounter; using Disassembler::LineAddr; using Disassembler::LineHub;
  using Disassembler::InstrBytes; using Disassembler::LineLabel; using Disassembler::LineOpcode; using Disassembler::LineOp; using Disassembler::LineOperand;
  using Disassembler::PendingLines; using Disassembler::SectionState; using Disassembler::LastLineBlank; using Disassembler::IndentLevel;
  using Disassembler::CogOrgBase; using Disassembler::AsmVarsPending; using Disassembler::OperandValue;
  using Disassembler::ReturnValueFlag; using Disassembler::FrameCount; using Disassembler::CodeAddressMark;
  using Disassembler::PendingLaunch; using Disassembler::CallUsesResult; using Disassembler::ConsecutiveFrames;
  using Disassembler::PubCounter; using Disassembler::PriCounter; using Disassembler::ProblemReports; using Disassembler::TraceAbort;
  using Disassembler::Opt; using Disassembler::DefaultLong; using Disassembler::DebugAny; using Disassembler::DebugVars;
  using Disassembler::SourcePath; using Disassembler::SourceReadPath; using Disassembler::SourceWarningArmed;
  using Disassembler::IncludeSource; using Disassembler::SourceReadWarned; using Disassembler::SourceObjectBase;
  using Disassembler::MethodsMatched; using Disassembler::Listing; using Disassembler::Warnings; using Disassembler::SizeText;
  using Disassembler::BytecodeListing; using Disassembler::PushHistory; using Disassembler::OpcodeSeen; using Disassembler::EffectSeen;
};

}  // namespace brevin::test

// The engine tests' one way into the engine's working state: Engine befriends
// this class, which makes the members the tests read and drive public again.
// Code outside the tests has only Engine's public face: options in, model out.
#pragma once

#include "engine.h"

namespace brevin::test {

class EngineProbe : public Engine {
 public:
  using Engine::Engine;
  using Engine::AnalyseImage; using Engine::WriteListing; using Engine::SetSection; using Engine::ListMarker;
  using Engine::ResetForLoad; using Engine::LoadImageBytes; using Engine::ByteAt; using Engine::WordAt;
  using Engine::LongAt; using Engine::FlagsAt; using Engine::HasFlag; using Engine::SetFlag;
  using Engine::NoteVarId; using Engine::ClearVarIds; using Engine::ClearFlag; using Engine::ReadByte;
  using Engine::ReadWord; using Engine::ReadLong; using Engine::ImageChecksum; using Engine::SetIfZero;
  using Engine::VerifyChecksum; using Engine::EntryTarget; using Engine::EntryWord2; using Engine::WalkObjects;
  using Engine::MarkPadding; using Engine::CheckHeaderAddresses; using Engine::FormatLine;
  using Engine::CurrentLine; using Engine::EmitBlankLine; using Engine::WriteRawLine; using Engine::WriteTitleBlock;
  using Engine::ListHeaderBlock; using Engine::ListDataLine; using Engine::ListDataItem;
  using Engine::ListSubPartEquates; using Engine::ListEquate; using Engine::StartAsmBlock;
  using Engine::FlushAsmVars; using Engine::ListAsmBlockStart; using Engine::LabelText;
  using Engine::InterpretFormat; using Engine::ClockModeText; using Engine::ReadJumpOffset;
  using Engine::AnnotateSize; using Engine::ReadPastEnd; using Engine::SymbolName; using Engine::PlainName;
  using Engine::HubName; using Engine::RelName; using Engine::VarName; using Engine::NumberSymbols;
  using Engine::AssignSymbol; using Engine::ListSymbolTable; using Engine::DecodeSpinInstruction;
  using Engine::DecodeEffectByte; using Engine::TraceSpin; using Engine::LaunchAssembly;
  using Engine::ReportProblem; using Engine::DecodeAsmInstruction; using Engine::SelectAsmChoice;
  using Engine::IsAsmData; using Engine::NumberCogVariable; using Engine::RegName; using Engine::TraceAssembly;
  using Engine::AsmLong; using Engine::AsmS; using Engine::AsmD; using Engine::AsmCondition;
  using Engine::AsmVarCounter; using Engine::ClassifyByteRuns; using Engine::ClassifyVariables;
  using Engine::ListStackFrame; using Engine::ListObjectList; using Engine::ListObjectRow; using Engine::EmitLine;
  using Engine::FlushPendingLines; using Engine::MergeWithPrevious; using Engine::FoldCallArguments;
  using Engine::FoldIndexes; using Engine::FoldCallsAndReturns; using Engine::FoldSpecialRegister;
  using Engine::FoldOperators; using Engine::PendingBefore; using Engine::PrepareSource;
  using Engine::InsertMethodSource; using Engine::NextMethodSource; using Engine::EmitMethodSource;
  using Engine::SourceLines; using Engine::BuildAnalysis; using Engine::DebugAppend; using Engine::DebugLine;
  using Engine::DebugDefer; using Engine::Image; using Engine::ClockFreq; using Engine::ClockMode;
  using Engine::Checksum; using Engine::PBASE; using Engine::VBASE; using Engine::SBASE; using Engine::PINIT;
  using Engine::SINIT; using Engine::VENDS; using Engine::ObjBase; using Engine::ObjVarBase;
  using Engine::ReadCursor; using Engine::ReadLimit; using Engine::ListingPass; using Engine::ImageEnd;
  using Engine::SymbolIds; using Engine::VarIds; using Engine::LocalAccess; using Engine::ReferencedFrom;
  using Engine::PairedWith; using Engine::UsedLetters; using Engine::LocalCounter; using Engine::LineAddr;
  using Engine::InstrBytes; using Engine::LineLabel; using Engine::LineOpcode; using Engine::LineOperand;
  using Engine::PendingLines; using Engine::SectionState; using Engine::LastLineBlank; using Engine::IndentLevel;
  using Engine::CogOrgBase; using Engine::AsmVarsPending; using Engine::OperandValue; using Engine::FlowFlag;
  using Engine::ReturnValueFlag; using Engine::FrameCount; using Engine::CodeAddressMark;
  using Engine::PendingLaunch; using Engine::CallUsesResult; using Engine::ConsecutiveFrames;
  using Engine::PubCounter; using Engine::PriCounter; using Engine::ProblemReports; using Engine::TraceAbort;
  using Engine::Opt; using Engine::DefaultLong; using Engine::DebugAny; using Engine::DebugVars;
  using Engine::SourcePath; using Engine::SourceReadPath; using Engine::SourceWarningArmed;
  using Engine::IncludeSource; using Engine::SourceReadWarned; using Engine::SourceObjectBase;
  using Engine::MethodsMatched; using Engine::Listing; using Engine::Warnings; using Engine::SizeText;
  using Engine::BytecodeListing; using Engine::PushHistory; using Engine::OpcodeSeen; using Engine::EffectSeen;
};

}  // namespace brevin::test

// The engine tests' one way into the working state behind the Engine facade:
// Disassembler befriends this class, which makes the members the tests read and
// drive public again. Code outside the tests has only the facade: options in, model out.
// Tests state behaviour through the facade and its model; only checks of small
// private helpers that no load can set up come through here.
#pragma once

#include "disassembler.h"

namespace brevin::test {

class EngineProbe : public Disassembler {
 public:
  using Disassembler::Disassembler;

  using Disassembler::ListMarker; using Disassembler::LoadImageBytes; using Disassembler::ByteAt;
  using Disassembler::FlagsAt; using Disassembler::HasFlag; using Disassembler::SetFlag; using Disassembler::ReadByte; using Disassembler::SpreadSpinMark; using Disassembler::PrintBytes;
  using Disassembler::TraceAsmInstruction; using Disassembler::ListSpinInstruction; using Disassembler::ClearVarIds;
  using Disassembler::ReadWord; using Disassembler::ReadLong; using Disassembler::WalkObjects;
  using Disassembler::MarkPadding; using Disassembler::FormatLine; using Disassembler::EmitBlankLine;
  using Disassembler::ListHeaderBlock; using Disassembler::ListDataItem; using Disassembler::StartAsmBlock;
  using Disassembler::FlushAsmVars; using Disassembler::SymbolName; using Disassembler::HubName;
  using Disassembler::RelName; using Disassembler::VarName; using Disassembler::NumberSymbols;
  using Disassembler::LaunchAssembly; using Disassembler::EmitLine; using Disassembler::FlushPendingLines;
  using Disassembler::InsertMethodSource; using Disassembler::Image; using Disassembler::PBASE;
  using Disassembler::VBASE; using Disassembler::VENDS; using Disassembler::ObjBase; using Disassembler::ObjVarBase;
  using Disassembler::ReadCursor; using Disassembler::ImageEnd;
  using Disassembler::SymbolIds; using Disassembler::VarIds; using Disassembler::UsedLetters;
  using Disassembler::LineAddr; using Disassembler::LineHub; using Disassembler::InstrBytes; using Disassembler::LineLabel;
  using Disassembler::LineOpcode; using Disassembler::LineOp; using Disassembler::LineOperand; using Disassembler::SectionState;
  using Disassembler::LastLineBlank; using Disassembler::IndentLevel; using Disassembler::CogOrgBase;
  using Disassembler::AsmVarsPending; using Disassembler::PubCounter; using Disassembler::TraceAbort;
  using Disassembler::Opt; using Disassembler::SourceReadPath; using Disassembler::Listing;
  using Disassembler::Warnings;
};

}  // namespace brevin::test

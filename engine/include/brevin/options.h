// The view and debug options of one load, as the menu check marks show them.
#pragma once

namespace brevin {

struct Options {
  bool ShowImage = true;             // "&Include Image"
  bool IncludeSourceCode = true;     // "Include Source Code"
  bool ProcessAssembler = true;      // "&Process Assembler"
  bool ShowLabels = true;            // "Show Destination &Labels"
  bool FoldOpcodes = true;
  bool FoldEffects = true;
  bool FoldOperators = true;
  bool FoldArguments = true;
  bool FoldSpr = true;
  bool FoldIndexes = false;
  bool ColonsAfterLabels = false;    // "&Colons After labels"
  bool ForceHash = false;            // "Force &Hash Literals"
  // The check mark of "&Default Long Variables"; the engine's DefaultLong is its inverse.
  bool DefaultLongVariables = false;
  bool CastVariables = false;        // "&Cast Variables"
  bool SymbolTable = false;          // "Symbol &Table"
  // "Trace &All Methods": after the trace from PINIT, trace from every method
  // table entry of every object in the object tree too.
  bool TraceAllMethods = false;
  // "Library &Names": known library objects recognised by their bytes lend
  // their names to the model (never to the listing text).
  bool LibraryNames = true;
  bool DebugSpin = false;            // "Debug Spi&n"
  bool DebugAsmb = false;            // "&Debug Asmb"
  bool DebugVars = false;            // "Debug &Variables" (effective only with DebugSpin or DebugAsmb)
  bool InhibitWarnings = false;      // File "Inhibit Warning Messages"
  bool AutoReload = false;           // File "Auto Reload"
};

}  // namespace brevin

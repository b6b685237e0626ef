#include "isa/spin_tables.h"

namespace brevin {

namespace {

constexpr SpinTables BuildSpinTables() {
  SpinTableBuilder b;

  // Opcodes, in byte order. Format letters are read by the instruction decoder.
  // $00..$3F: calls, jumps, built-in statements, constants and register access.
  b.DefineOpcode("FRAME f+CALL WITH RETURN VALUE");       // $00
  b.DefineOpcode("FRAME f-CALL WITHOUT RETURN VALUE");    // $01
  b.DefineOpcode("FRAME f-CALL WITH ABORT TRAP");         // $02
  b.DefineOpcode("FRAME f-CALL IGNORING ABORT TRAP");     // $03
  b.DefineOpcode("GOTO a");                               // $04
  b.DefineOpcode("CALL c");                               // $05
  b.DefineOpcode("CALLOBJ pu");                           // $06
  b.DefineOpcode("CALLOBJ p[]u");                         // $07
  b.DefineOpcode("LOOPJPF a>");                           // $08
  b.DefineOpcode("LOOPRPT a<");                           // $09
  b.DefineOpcode("JPF a");                                // $0A
  b.DefineOpcode("JPT a");                                // $0B
  b.DefineOpcode("GOTO[] *");                             // $0C
  b.DefineOpcode("CASE a");                               // $0D
  b.DefineOpcode("CASER a");                              // $0E
  b.DefineOpcode("LOOKEND");                              // $0F
  b.DefineOpcode("LOOKUP");                               // $10
  b.DefineOpcode("LOOKDN");                               // $11
  b.DefineOpcode("LOOKUPR");                              // $12
  b.DefineOpcode("LOOKDNR");                              // $13
  b.DefineOpcode("QUIT???");                              // $14
  b.DefineOpcode("MARK u");                               // $15
  b.DefineOpcode("STRSIZE");                              // $16
  b.DefineOpcode("STRCOMP");                              // $17
  b.DefineOpcode("BYTEFIL");                              // $18
  b.DefineOpcode("WORDFIL");                              // $19
  b.DefineOpcode("LONGFIL");                              // $1A
  b.DefineOpcode("WAITPEQ");                              // $1B
  b.DefineOpcode("BYTEMOV");                              // $1C
  b.DefineOpcode("WORDMOV");                              // $1D
  b.DefineOpcode("LONGMOV");                              // $1E
  b.DefineOpcode("WAITPNE");                              // $1F
  b.DefineOpcode("CLKSET");                               // $20
  b.DefineOpcode("COGSTOP");                              // $21
  b.DefineOpcode("LRETSUB");                              // $22
  b.DefineOpcode("WAITCNT");                              // $23
  b.DefineOpcode("PUSH SPR[]");                           // $24
  b.DefineOpcode("POP SPR[]");                            // $25
  b.DefineOpcode("USING SPR[]");                          // $26
  b.DefineOpcode("WAITVID");                              // $27
  b.DefineOpcode("COGIFUN *");                            // $28
  b.DefineOpcode("LNEWFUN");                              // $29
  b.DefineOpcode("LSETFUN");                              // $2A
  b.DefineOpcode("LCLRFUN");                              // $2B
  b.DefineOpcode("COGISUB *");                            // $2C
  b.DefineOpcode("LNEWSUB");                              // $2D
  b.DefineOpcode("LSETSUB");                              // $2E
  b.DefineOpcode("LCLRSUB");                              // $2F
  b.DefineOpcode("ABORT *");                              // $30
  b.DefineOpcode("ABOVAL *");                             // $31
  b.DefineOpcode("RETURN *u_");                           // $32
  b.DefineOpcode("RETVAL *u_");                           // $33
  b.DefineOpcode("PUSH m#-1");                            // $34
  b.DefineOpcode("PUSH m#0");                             // $35
  b.DefineOpcode("PUSH m#1");                             // $36
  b.DefineOpcode("PUSH #kp");                             // $37
  b.DefineOpcode("PUSH #k1");                             // $38
  b.DefineOpcode("PUSH #k<2");                            // $39
  b.DefineOpcode("PUSH #k<3");                            // $3A
  b.DefineOpcode("PUSH #k<4");                            // $3B
  b.DefineOpcode("?3C");                                  // $3C
  b.DefineOpcode("REG r[]");                              // $3D
  b.DefineOpcode("REG r[..]");                            // $3E
  b.DefineOpcode("REG r");                                // $3F

  // $40..$7F: fast access to the first eight longs of VAR and LOC; the offset comes
  // from opcode bits 4..2.
  b.DefineOpcode("PUSH VAR+dl");                          // $40
  b.DefineOpcode("POP VAR+dl");                           // $41
  b.DefineOpcode("USING VAR+dl");                         // $42
  b.DefineOpcode("PUSH ##VAR+dl");                        // $43
  b.DefineOpcode("PUSH VAR+dl");                          // $44
  b.DefineOpcode("POP VAR+dl");                           // $45
  b.DefineOpcode("USING VAR+dl");                         // $46
  b.DefineOpcode("PUSH ##VAR+dl");                        // $47
  b.DefineOpcode("PUSH VAR+dl");                          // $48
  b.DefineOpcode("POP VAR+dl");                           // $49
  b.DefineOpcode("USING VAR+dl");                         // $4A
  b.DefineOpcode("PUSH ##VAR+dl");                        // $4B
  b.DefineOpcode("PUSH VAR+dl");                          // $4C
  b.DefineOpcode("POP VAR+dl");                           // $4D
  b.DefineOpcode("USING VAR+dl");                         // $4E
  b.DefineOpcode("PUSH ##VAR+dl");                        // $4F
  b.DefineOpcode("PUSH VAR+dl");                          // $50
  b.DefineOpcode("POP VAR+dl");                           // $51
  b.DefineOpcode("USING VAR+dl");                         // $52
  b.DefineOpcode("PUSH ##VAR+dl");                        // $53
  b.DefineOpcode("PUSH VAR+dl");                          // $54
  b.DefineOpcode("POP VAR+dl");                           // $55
  b.DefineOpcode("USING VAR+dl");                         // $56
  b.DefineOpcode("PUSH ##VAR+dl");                        // $57
  b.DefineOpcode("PUSH VAR+dl");                          // $58
  b.DefineOpcode("POP VAR+dl");                           // $59
  b.DefineOpcode("USING VAR+dl");                         // $5A
  b.DefineOpcode("PUSH ##VAR+dl");                        // $5B
  b.DefineOpcode("PUSH VAR+dl");                          // $5C
  b.DefineOpcode("POP VAR+dl");                           // $5D
  b.DefineOpcode("USING VAR+dl");                         // $5E
  b.DefineOpcode("PUSH ##VAR+dl");                        // $5F

  b.DefineOpcode("PUSH LOC+dl");                          // $60
  b.DefineOpcode("POP LOC+dl");                           // $61
  b.DefineOpcode("USING LOC+dl");                         // $62
  b.DefineOpcode("PUSH ##LOC+dl");                        // $63
  b.DefineOpcode("PUSH LOC+dl");                          // $64
  b.DefineOpcode("POP LOC+dl");                           // $65
  b.DefineOpcode("USING LOC+dl");                         // $66
  b.DefineOpcode("PUSH ##LOC+dl");                        // $67
  b.DefineOpcode("PUSH LOC+dl");                          // $68
  b.DefineOpcode("POP LOC+dl");                           // $69
  b.DefineOpcode("USING LOC+dl");                         // $6A
  b.DefineOpcode("PUSH ##LOC+dl");                        // $6B
  b.DefineOpcode("PUSH LOC+dl");                          // $6C
  b.DefineOpcode("POP LOC+dl");                           // $6D
  b.DefineOpcode("USING LOC+dl");                         // $6E
  b.DefineOpcode("PUSH ##LOC+dl");                        // $6F
  b.DefineOpcode("PUSH LOC+dl");                          // $70
  b.DefineOpcode("POP LOC+dl");                           // $71
  b.DefineOpcode("USING LOC+dl");                         // $72
  b.DefineOpcode("PUSH ##LOC+dl");                        // $73
  b.DefineOpcode("PUSH LOC+dl");                          // $74
  b.DefineOpcode("POP LOC+dl");                           // $75
  b.DefineOpcode("USING LOC+dl");                         // $76
  b.DefineOpcode("PUSH ##LOC+dl");                        // $77
  b.DefineOpcode("PUSH LOC+dl");                          // $78
  b.DefineOpcode("POP LOC+dl");                           // $79
  b.DefineOpcode("USING LOC+dl");                         // $7A
  b.DefineOpcode("PUSH ##LOC+dl");                        // $7B
  b.DefineOpcode("PUSH LOC+dl");                          // $7C
  b.DefineOpcode("POP LOC+dl");                           // $7D
  b.DefineOpcode("USING LOC+dl");                         // $7E
  b.DefineOpcode("PUSH ##LOC+dl");                        // $7F

  // $80..$DF: general memory access by size (byte, word, long), then indexed or not,
  // then base (MEM, OBJ, VAR, LOC); each as push, pop, using, push address.
  b.DefineOpcode("PUSH MEM[]b");                          // $80
  b.DefineOpcode("POP MEM[]b");                           // $81
  b.DefineOpcode("USING MEM[]b");                         // $82
  b.DefineOpcode("PUSH ##MEM[]b");                        // $83
  b.DefineOpcode("PUSH OBJ+vb");                          // $84
  b.DefineOpcode("POP OBJ+vb");                           // $85
  b.DefineOpcode("USING OBJ+vb");                         // $86
  b.DefineOpcode("PUSH ##OBJ+vb");                        // $87
  b.DefineOpcode("PUSH VAR+vb");                          // $88
  b.DefineOpcode("POP VAR+vb");                           // $89
  b.DefineOpcode("USING VAR+vb");                         // $8A
  b.DefineOpcode("PUSH ##VAR+vb");                        // $8B
  b.DefineOpcode("PUSH LOC+vb");                          // $8C
  b.DefineOpcode("POP LOC+vb");                           // $8D
  b.DefineOpcode("USING LOC+vb");                         // $8E
  b.DefineOpcode("PUSH ##LOC+vb");                        // $8F
  b.DefineOpcode("PUSH MEM[][]b");                        // $90
  b.DefineOpcode("POP MEM[][]b");                         // $91
  b.DefineOpcode("USING MEM[][]b");                       // $92
  b.DefineOpcode("PUSH ##MEM[][]b");                      // $93
  b.DefineOpcode("PUSH OBJ+v[]b");                        // $94
  b.DefineOpcode("POP OBJ+v[]b");                         // $95
  b.DefineOpcode("USING OBJ+v[]b");                       // $96
  b.DefineOpcode("PUSH ##OBJ+v[]b");                      // $97
  b.DefineOpcode("PUSH VAR+v[]b");                        // $98
  b.DefineOpcode("POP VAR+v[]b");                         // $99
  b.DefineOpcode("USING VAR+v[]b");                       // $9A
  b.DefineOpcode("PUSH ##VAR+v[]b");                      // $9B
  b.DefineOpcode("PUSH LOC+v[]b");                        // $9C
  b.DefineOpcode("POP LOC+v[]b");                         // $9D
  b.DefineOpcode("USING LOC+v[]b");                       // $9E
  b.DefineOpcode("PUSH ##LOC+v[]b");                      // $9F

  b.DefineOpcode("PUSH MEM[]w");                          // $A0
  b.DefineOpcode("POP MEM[]w");                           // $A1
  b.DefineOpcode("USING MEM[]w");                         // $A2
  b.DefineOpcode("PUSH ##MEM[]w");                        // $A3
  b.DefineOpcode("PUSH OBJ+vw");                          // $A4
  b.DefineOpcode("POP OBJ+vw");                           // $A5
  b.DefineOpcode("USING OBJ+vw");                         // $A6
  b.DefineOpcode("PUSH ##OBJ+vw");                        // $A7
  b.DefineOpcode("PUSH VAR+vw");                          // $A8
  b.DefineOpcode("POP VAR+vw");                           // $A9
  b.DefineOpcode("USING VAR+vw");                         // $AA
  b.DefineOpcode("PUSH ##VAR+vw");                        // $AB
  b.DefineOpcode("PUSH LOC+vw");                          // $AC
  b.DefineOpcode("POP LOC+vw");                           // $AD
  b.DefineOpcode("USING LOC+vw");                         // $AE
  b.DefineOpcode("PUSH ##LOC+vw");                        // $AF
  b.DefineOpcode("PUSH MEM[][]w");                        // $B0
  b.DefineOpcode("POP MEM[][]w");                         // $B1
  b.DefineOpcode("USING MEM[][]w");                       // $B2
  b.DefineOpcode("PUSH ##MEM[][]w");                      // $B3
  b.DefineOpcode("PUSH OBJ+v[]w");                        // $B4
  b.DefineOpcode("POP OBJ+v[]w");                         // $B5
  b.DefineOpcode("USING OBJ+v[]w");                       // $B6
  b.DefineOpcode("PUSH ##OBJ+v[]w");                      // $B7
  b.DefineOpcode("PUSH VAR+v[]w");                        // $B8
  b.DefineOpcode("POP VAR+v[]w");                         // $B9
  b.DefineOpcode("USING VAR+v[]w");                       // $BA
  b.DefineOpcode("PUSH ##VAR+v[]w");                      // $BB
  b.DefineOpcode("PUSH LOC+v[]w");                        // $BC
  b.DefineOpcode("POP LOC+v[]w");                         // $BD
  b.DefineOpcode("USING LOC+v[]w");                       // $BE
  b.DefineOpcode("PUSH ##LOC+v[]w");                      // $BF

  b.DefineOpcode("PUSH MEM[]l");                          // $C0
  b.DefineOpcode("POP MEM[]l");                           // $C1
  b.DefineOpcode("USING MEM[]l");                         // $C2
  b.DefineOpcode("PUSH ##MEM[]l");                        // $C3
  b.DefineOpcode("PUSH OBJ+vl");                          // $C4
  b.DefineOpcode("POP OBJ+vl");                           // $C5
  b.DefineOpcode("USING OBJ+vl");                         // $C6
  b.DefineOpcode("PUSH ##OBJ+vlm");                       // $C7
  b.DefineOpcode("PUSH VAR+vl");                          // $C8
  b.DefineOpcode("POP VAR+vl");                           // $C9
  b.DefineOpcode("USING VAR+vl");                         // $CA
  b.DefineOpcode("PUSH ##VAR+vl");                        // $CB
  b.DefineOpcode("PUSH LOC+vl");                          // $CC
  b.DefineOpcode("POP LOC+vl");                           // $CD
  b.DefineOpcode("USING LOC+vl");                         // $CE
  b.DefineOpcode("PUSH ##LOC+vl");                        // $CF
  b.DefineOpcode("PUSH MEM[][]l");                        // $D0
  b.DefineOpcode("POP MEM[][]l");                         // $D1
  b.DefineOpcode("USING MEM[][]l");                       // $D2
  b.DefineOpcode("PUSH ##MEM[][]l");                      // $D3
  b.DefineOpcode("PUSH OBJ+v[]l");                        // $D4
  b.DefineOpcode("POP OBJ+v[]l");                         // $D5
  b.DefineOpcode("USING OBJ+v[]l");                       // $D6
  b.DefineOpcode("PUSH ##OBJ+v[]l");                      // $D7
  b.DefineOpcode("PUSH VAR+v[]l");                        // $D8
  b.DefineOpcode("POP VAR+v[]l");                         // $D9
  b.DefineOpcode("USING VAR+v[]l");                       // $DA
  b.DefineOpcode("PUSH ##VAR+v[]l");                      // $DB
  b.DefineOpcode("PUSH LOC+v[]l");                        // $DC
  b.DefineOpcode("POP LOC+v[]l");                         // $DD
  b.DefineOpcode("USING LOC+v[]l");                       // $DE
  b.DefineOpcode("PUSH ##LOC+v[]l");                      // $DF

  // $E0..$FF: operators on the values on the stack.
  b.DefineOpcode("ROR");                                  // $E0
  b.DefineOpcode("ROL");                                  // $E1
  b.DefineOpcode("SHR");                                  // $E2
  b.DefineOpcode("SHL");                                  // $E3
  b.DefineOpcode("MIN");                                  // $E4
  b.DefineOpcode("MAX");                                  // $E5
  b.DefineOpcode("NEG");                                  // $E6
  b.DefineOpcode("BIT_NOT");                              // $E7
  b.DefineOpcode("BIT_AND");                              // $E8
  b.DefineOpcode("ABS");                                  // $E9
  b.DefineOpcode("BIT_OR");                               // $EA
  b.DefineOpcode("BIT_XOR");                              // $EB
  b.DefineOpcode("ADD");                                  // $EC
  b.DefineOpcode("SUB");                                  // $ED
  b.DefineOpcode("SAR");                                  // $EE
  b.DefineOpcode("BIT_REV");                              // $EF
  b.DefineOpcode("LOG_AND");                              // $F0
  b.DefineOpcode("ENCODE");                               // $F1
  b.DefineOpcode("LOG_OR");                               // $F2
  b.DefineOpcode("DECODE");                               // $F3
  b.DefineOpcode("MPY");                                  // $F4
  b.DefineOpcode("MPY_MSW");                              // $F5
  b.DefineOpcode("DIV");                                  // $F6
  b.DefineOpcode("MOD");                                  // $F7
  b.DefineOpcode("SQRT");                                 // $F8
  b.DefineOpcode("LT");                                   // $F9
  b.DefineOpcode("GT");                                   // $FA
  b.DefineOpcode("NE");                                   // $FB
  b.DefineOpcode("EQ");                                   // $FC
  b.DefineOpcode("LE");                                   // $FD
  b.DefineOpcode("GE");                                   // $FE
  b.DefineOpcode("LOG_NOT");                              // $FF

  // Effect bytes that follow USING. The groups of four below 64 are filled by one
  // call each; the single-index calls that follow a group refine it.
  b.DefineEffect(0, "COPY");
  b.DefineEffect(1, "");
  b.DefineEffect(2, "RPTINCJ");
  b.DefineEffect(3, "");
  b.DefineEffect(4, "");
  b.DefineEffect(4, "");  // defined twice; the second call changes nothing
  b.DefineEffect(6, "RPTADDJ");
  b.DefineEffect(7, "");
  b.DefineEffect(8, "FWDRAND");
  b.DefineEffect(12, "REVRAND");
  b.DefineEffect(16, "SEXBYTE");
  b.DefineEffect(20, "SEXWORD");
  b.DefineEffect(24, "POSTCLR");
  b.DefineEffect(28, "POSTSET");
  b.DefineEffect(32, "PREINC INC");
  b.DefineEffect(36, "PREINC INC");
  b.DefineEffect(40, "POSTINC INC");
  b.DefineEffect(44, "POSTINC INC");
  b.DefineEffect(48, "PREDEC DEC");
  b.DefineEffect(52, "PREDEC DEC");
  b.DefineEffect(56, "POSTDEC DEC");
  b.DefineEffect(60, "POSTDEC DEC");
  // Operator effects; $55 and $58 are named differently from opcodes $F5 and $F8.
  b.DefineEffect(0x40, "ROR");
  b.DefineEffect(0x41, "ROL");
  b.DefineEffect(0x42, "SHR");
  b.DefineEffect(0x43, "SHL");
  b.DefineEffect(0x44, "MIN");
  b.DefineEffect(0x45, "MAX");
  b.DefineEffect(0x46, "NEG");
  b.DefineEffect(0x47, "BIT_NOT");
  b.DefineEffect(0x48, "BIT_AND");
  b.DefineEffect(0x49, "ABS");
  b.DefineEffect(0x4A, "BIT_OR");
  b.DefineEffect(0x4B, "BIT_XOR");
  b.DefineEffect(0x4C, "ADD");
  b.DefineEffect(0x4D, "SUB");
  b.DefineEffect(0x4E, "SAR");
  b.DefineEffect(0x4F, "BIT_REV");
  b.DefineEffect(0x50, "LOG_AND");
  b.DefineEffect(0x51, "ENCODE");
  b.DefineEffect(0x52, "LOG_OR");
  b.DefineEffect(0x53, "DECODE");
  b.DefineEffect(0x54, "MPY");
  b.DefineEffect(0x55, "MPY_BIG");
  b.DefineEffect(0x56, "DIV");
  b.DefineEffect(0x57, "MOD");
  b.DefineEffect(0x58, "SQR");
  b.DefineEffect(0x59, "LT");
  b.DefineEffect(0x5A, "GT");
  b.DefineEffect(0x5B, "NE");
  b.DefineEffect(0x5C, "EQ");
  b.DefineEffect(0x5D, "LE");
  b.DefineEffect(0x5E, "GE");
  b.DefineEffect(0x5F, "LOG_NOT");

  // Cog registers $1E0..$1FF.
  b.DefineRegister("MEM+0");
  b.DefineRegister("MEM+1");
  b.DefineRegister("MEM+2");
  b.DefineRegister("MEM+3");
  b.DefineRegister("MEM+4");
  b.DefineRegister("MEM+5");
  b.DefineRegister("MEM+6");
  b.DefineRegister("MEM+7");
  b.DefineRegister("MEM+8");
  b.DefineRegister("MEM+9");
  b.DefineRegister("MEM+10");
  b.DefineRegister("MEM+11");
  b.DefineRegister("MEM+12");
  b.DefineRegister("MEM+13");
  b.DefineRegister("MEM+14");
  b.DefineRegister("MEM+15");
  b.DefineRegister("PAR");
  b.DefineRegister("CNT");
  b.DefineRegister("INA");
  b.DefineRegister("INB");
  b.DefineRegister("OUTA");
  b.DefineRegister("OUTB");
  b.DefineRegister("DIRA");
  b.DefineRegister("DIRB");
  b.DefineRegister("CTRA");
  b.DefineRegister("CTRB");
  b.DefineRegister("FRQA");
  b.DefineRegister("FRQB");
  b.DefineRegister("PHSA");
  b.DefineRegister("PHSB");
  b.DefineRegister("VCFG");
  b.DefineRegister("VSCL");

  return b.Tables();
}

constexpr SpinTables kSpinTables = BuildSpinTables();

// The named registers $1F0..$1FF of the table, lower-cased once at compile time.
struct SourceRegisterNames {
  char text[16][8]{};
  constexpr SourceRegisterNames() {
    for (std::size_t r = 0; r < 16; ++r) {
      const std::string_view name = kSpinTables.RegisterNames[16 + r];
      for (std::size_t i = 0; i < name.size() && i + 1 < sizeof text[r]; ++i) {
        const char c = name[i];
        text[r][i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
      }
    }
  }
};
constexpr SourceRegisterNames kSourceRegisterNames;

}  // namespace

const SpinTables& BuiltInSpinTables() { return kSpinTables; }

std::string_view SourceRegisterName(std::uint32_t reg) {
  return reg >= 16 && reg < 32 ? std::string_view(kSourceRegisterNames.text[reg - 16]) : std::string_view();
}

}  // namespace brevin

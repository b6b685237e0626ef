// The rules of the shipped JSON Schema (packaging/brevin-analysis.schema.json)
// that a reader of --json relies on, checked in C++ so the JSON fuzzer and the
// engine tests hold every document to them without a schema validator: the
// required keys and their types, the address ranges, the region kinds, the
// names, and the code-line keys (bytes as hex pairs, a size of at least 1,
// line texts without CR or LF).
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace brevin::fuzz {

// Empty when the document keeps the rules, else the first broken one with the
// path of the value that breaks it ("lines/12/size: ...").
std::string JsonSchemaProblems(const nlohmann::json& doc);

}  // namespace brevin::fuzz

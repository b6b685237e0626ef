// Every name a recovered project gives, per distinct object: its file, its
// methods with their parameters, locals and results, its object entries and
// its constants. The table is filled in order, each source replacing the
// names before it where it fits the image: generated names, the listing's
// labels, the sources found beside the image (known library objects and a
// person's own notes take their places after those). Every writer of the
// recovered source asks the table.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recovery/source_dat.h"
#include "recovery/source_names.h"
#include "recovery/var_layout.h"

namespace brevin::recovery {

// An object entry as a source's OBJ block declares it.
struct SourceEntry {
  std::string name;
  std::string file;
  int index = 0;  // in its array
  int count = 1;  // the array's size
};

// What a source beside the image declares for one object.
struct ObjectSource {
  std::vector<SourceMethodName> methods;     // when they match the table
  std::vector<SourceEntry> entries;          // the object table as the source declares it
  std::vector<NamedVariable> variables;      // the VAR block as the source declares it
  std::vector<SourceConstant> constants;     // the CON block, evaluated
  SourceDat dat;                             // the DAT blocks' labels as the source lays them out
  bool kindsKnown = true;                    // the methods' PUB and PRI are the source's
};

struct ObjectNames {
  std::string file;                                // without ".spin"
  std::vector<std::string> methods;                // by table index - 1
  std::vector<std::vector<std::string>> parameters;
  std::map<int, std::string> children;             // by entry: the name a call uses ("" past an array's first)
  ObjectSource source;                             // what the source beside declares, if any was read
  bool sourceRead = false;
  // What the library of known objects gives it: its file name, the OBJ name
  // a known parent gives it, and whether its CON block is the library's (so
  // that a parent may write obj#NAME).
  std::string libraryFile;
  std::string declaredName;
  bool libraryConstants = false;
  std::string sourceText;                          // that source, as UTF-8
  // A person's names for parameters and locals, by table index - 1, by frame offset.
  std::vector<std::map<std::int32_t, std::string>> givenLocals;
};

class NameTable {
 public:
  // Generated names: the top file after the image, children numbered level
  // by level from the top in object table order, methods method1, method2 ...
  NameTable(const std::vector<std::size_t>& fileOrder, const std::vector<std::size_t>& methodCounts,
            const std::string& topStem);

  ObjectNames& Object(std::size_t o) { return objects_[o]; }
  const ObjectNames& Object(std::size_t o) const { return objects_[o]; }
  std::size_t size() const { return objects_.size(); }

  // The listing's method labels (by hub address of the method's code).
  void TakeMethodLabels(std::size_t o, const std::map<std::int32_t, std::string>& labels,
                        const std::vector<std::int32_t>& methodAddresses);
  // A source's names where they fit the object's table; outside gives the
  // children's constants its CON, VAR and DAT blocks use ("obj#NAME").
  void TakeSource(std::size_t o, const std::string& utf8Text, const SourceExpressionValue& outside = {});
  // Reads again each source that uses its children's constants, with the
  // constants of its children's sources (children first), where its OBJ
  // block declares the entries the image has.
  void TakeChildConstants(const std::vector<std::vector<int>>& childObjects);
  // Child files take the names their parents' OBJ blocks give them, else
  // the library's, when plain and free (ignoring case); numbered names stay
  // for the others.
  // A person's names (from their notes): methods by table index - 1 (empty:
  // none), and their frame slots. They win over every name before them; a
  // method that had the same name gets a "_" after its own.
  void TakeGivenNames(std::size_t o, const std::vector<std::string>& methods,
                      const std::vector<std::map<std::int32_t, std::string>>& locals);
  void TakeChildFileNames(const std::vector<std::size_t>& fileOrder,
                          const std::vector<std::vector<int>>& childObjects);

 private:
  std::optional<std::int64_t> ChildConstant(const std::vector<SourceEntry>& entries, const std::vector<int>& children,
                                            std::string_view name) const;

  std::vector<ObjectNames> objects_;
};

}  // namespace brevin::recovery

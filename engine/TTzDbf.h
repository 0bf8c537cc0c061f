// The table component through which every window reads and writes one table
// file: opens on demand, creates a missing table from its field list.
#pragma once

#include "engine/TTzODbf.h"

#include <string>
#include <vector>

namespace qb::engine {

enum class TCreateIndexType { ciNotFound, ciAlways, ciVerifyHeader, ciNever };

class TTzDbf : public TTzODbf {
public:
    explicit TTzDbf(std::string name, Engine& engine = defaultEngine());
    ~TTzDbf() override;

    // The process-wide engine the program uses.
    static Engine& defaultEngine();

    bool AutoFixRecCount = false;
    TCreateIndexType CreateIndex = TCreateIndexType::ciNotFound;
    bool CreateIfNotFound = true;
    std::vector<std::string> DbfFields; // "ident, N, 4, 0"

    bool Exclusive() const { return m_exclusive; }
    void setExclusive(bool on);
    const std::string& DbfFileName() const { return m_fileName; }
    // Trims, adds ".dbf" when there is no extension; reopens an open
    // component under the new name; an empty name closes it.
    void setDbfFileName(const std::string& name);
    // Opens or closes; true when the requested state was reached.
    bool setActive(bool on);

    // The open-or-create pattern windows use for tables that may be missing:
    // open without creation, and on failure create from DbfFields and open.
    bool openOrCreate();

    // Creates the file from DbfFields unless it exists (then it is left as
    // it is); false when the list is empty or a line
    // is malformed (then nothing is created).
    bool createFromFields();
    // Parses DbfFields; false on the first malformed line.
    static bool parseFieldList(const std::vector<std::string>& lines, std::vector<FieldSpec>& out);

    // Resolves a table file name against the working directory without regard
    // to case, as Windows stations would.
    static std::string resolvePath(const std::string& name);
    static std::string resolvePath(platform::FileSystem& fs, const std::string& name);

private:
    bool open();
    std::string m_fileName;
    bool m_exclusive = false;
};

} // namespace qb::engine

#include "TTzDbf.h"

#include "engine/TTzSession.h"
#include "platform/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace qb::engine {

namespace {

std::string trim(const std::string& s)
{
    auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool hasExtension(const std::string& name)
{
    auto slash = name.rfind('/');
    auto dot = name.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

// Number text as the field list writes it: blanks, a leading "+", thousands
// separators and "$" are ignored. Returns -1 when nothing numeric is left.
int parseNumber(const std::string& item)
{
    std::string digits;
    for (char c : item)
        if (c != ' ' && c != '+' && c != '$' && c != '\'' && c != '.')
            digits += c;
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return -1;
    if (digits.size() > 6)
        return -1;
    return std::stoi(digits);
}

} // namespace

Engine& TTzDbf::defaultEngine()
{
    static Engine engine;
    return engine;
}

TTzDbf::TTzDbf(std::string name, Engine& engine) : TTzODbf(engine, std::move(name))
{
    TTzSession::instance().add(this);
}

TTzDbf::~TTzDbf()
{
    setActive(false);
    TTzSession::instance().remove(this);
}

void TTzDbf::setExclusive(bool on)
{
    if (on == m_exclusive)
        return;
    m_exclusive = on;
    if (Active()) {
        setActive(false);
        setActive(true);
    }
}

void TTzDbf::setDbfFileName(const std::string& name)
{
    std::string n = trim(name);
    if (!n.empty() && n.back() != '.' && !hasExtension(n))
        n += ".dbf";
    bool wasActive = Active();
    if (wasActive)
        setActive(false);
    m_fileName = n;
    if (wasActive && !n.empty())
        setActive(true);
}

std::string TTzDbf::resolvePath(const std::string& name)
{
    return resolvePath(platform::FileSystem::posix(), name);
}

std::string TTzDbf::resolvePath(platform::FileSystem& fs, const std::string& name)
{
    std::string path = name;
    if (!path.empty() && path.back() == '.')
        path.pop_back(); // "name." means a name without extension
    if (fs.exists(path))
        return path;
    auto slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string want = platform::asciiLower(base);
    for (const std::string& name : fs.list(dir.empty() ? "/" : dir))
        if (platform::asciiLower(name) == want)
            return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
    return path;
}

bool TTzDbf::parseFieldList(const std::vector<std::string>& lines, std::vector<FieldSpec>& out)
{
    out.clear();
    for (std::size_t i = 0; i < lines.size() && i < 255; ++i) {
        const std::string& line = lines[i];
        if (std::count(line.begin(), line.end(), ',') != 3)
            return false;
        std::vector<std::string> items;
        std::size_t start = 0;
        for (int k = 0; k < 4; ++k) {
            auto comma = line.find(',', start);
            items.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            start = comma == std::string::npos ? line.size() : comma + 1;
        }
        FieldSpec f;
        f.name = trim(items[0]);
        std::string type = trim(items[1]);
        f.type = type.empty() ? ' ' : type[0];
        f.length = parseNumber(items[2]);
        f.decimals = parseNumber(items[3]);
        if (f.length < 0)
            f.length = 0;
        if (f.decimals < 0)
            f.decimals = 0;
        out.push_back(std::move(f));
    }
    return true;
}

bool TTzDbf::createFromFields()
{
    std::vector<FieldSpec> specs;
    if (DbfFields.empty() || !parseFieldList(DbfFields, specs))
        return false;
    // Only a missing table is created: another station may create it at the same moment.
    return m_engine.CreateDbfIfMissing(m_fileName, specs);
}

bool TTzDbf::open()
{
    if (m_fileName.empty())
        return false;
    std::string path = resolvePath(m_engine.files(), m_fileName);
    if (CreateIfNotFound && !m_engine.files().exists(path)) {
        if (!createFromFields())
            TTzSession::instance().showMessage("Could not create '" + m_fileName + "'");
        path = resolvePath(m_engine.files(), m_fileName);
    }
    std::string command = path;
    if (m_exclusive)
        command += " EXCLUSIVE";
    command += " ALIAS " + m_name.substr(0, 10);
    if (!openArea(command, AutoFixRecCount)) {
        if (m_engine.lastError() == 0)
            m_engine.setError(err::kFileNotFound, "Failure to open " + m_fileName + " [USE/OpenDbf]");
        return false;
    }
    // A stale index semaphore file of this table is removed on open.
    std::string stem = path;
    auto dot = stem.rfind('.');
    auto slash = stem.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        stem.erase(dot);
    m_engine.files().remove(stem + ".@S@");
    m_engine.clearError();
    return true;
}

bool TTzDbf::setActive(bool on)
{
    if (on == Active())
        return true;
    if (!on) {
        closeArea();
        return true;
    }
    return open();
}

bool TTzDbf::openOrCreate()
{
    bool savedCreate = CreateIfNotFound;
    CreateIfNotFound = false;
    setActive(false);
    bool ok = setActive(true) && m_engine.lastError() == 0;
    if (!ok) {
        CreateIfNotFound = true;
        setActive(false);
        ok = setActive(true);
    }
    CreateIfNotFound = savedCreate;
    return ok;
}

TTzSession& TTzSession::instance()
{
    static TTzSession session;
    return session;
}

void TTzSession::add(TTzDbf* dbf) { m_components.push_back(dbf); }

void TTzSession::remove(TTzDbf* dbf)
{
    m_components.erase(std::remove(m_components.begin(), m_components.end(), dbf), m_components.end());
}

TTzDbf* TTzSession::find(const std::string& name) const
{
    std::string want = platform::asciiLower(name.substr(0, 10));
    for (TTzDbf* d : m_components)
        if (platform::asciiLower(d->name().substr(0, 10)) == want)
            return d;
    return nullptr;
}

void TTzSession::showMessage(const std::string& text) const
{
    if (!showMessages)
        return;
    if (messageHandler)
        messageHandler(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

} // namespace qb::engine

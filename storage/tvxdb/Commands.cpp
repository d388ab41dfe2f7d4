#include "storage/tvxdb/Commands.h"

#include "storage/CdxIndex.h"
#include "storage/Check.h"
#include "storage/Db.h"
#include "storage/Escape.h"
#include "storage/TableImpl.h"

#include <cstdlib>
#include <istream>
#include <ostream>
#include <sstream>

namespace tvx::db {
namespace {

const char* kUsage =
    "usage: tvxdb create NAME FIELD:TYPE:LEN[,...] [TAG=EXPR ...] | append NAME | dump NAME | keys NAME TAG |\n"
    "             seek NAME TAG [KEY] | check NAME | pack NAME | reindex NAME";

struct Failure {
    std::string message;
    int code;
};

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = s.find(sep, start);
        parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

class Tool {
public:
    Tool(std::istream& in, std::ostream& out) : m_in(in), m_out(out) {
        m_context.Setup();
        m_context.accessMode = 1;  // exclusive: buffered writes
    }

    DbTable* OpenTable(const std::string& name) {
        DbTable* t = DbTable::Open(m_context, name.c_str());
        if (!t) throw Failure{"cannot open table " + name, m_context.ErrorCode()};
        return t;
    }
    void Done(DbTable* t) {
        if (int rc = t->Close(); rc != kOk) throw Failure{"closing the table failed", rc};
        if (m_context.ErrorCode() < 0) throw Failure{"the storage reported an error", m_context.ErrorCode()};
    }
    DbTag* FindTag(DbTable* t, const std::string& name) {
        DbTag* tag = t->Tag(name.c_str());
        if (!tag) throw Failure{"no tag " + name, kErrParameter};
        return tag;
    }

    int Create(const std::vector<std::string>& a) {
        if (a.size() < 3) throw Failure{kUsage, kErrParameter};
        std::vector<std::string> names;
        std::vector<DbFieldInfo> fields;
        const auto fieldTexts = Split(a[2], ',');
        names.reserve(fieldTexts.size() * 3 + a.size() * 2);
        for (const auto& fieldText : fieldTexts) {
            const auto p = Split(fieldText, ':');
            if (p.size() != 3 || p[1].size() != 1 || p[0].empty())
                throw Failure{"bad field " + fieldText + " (want NAME:TYPE:LEN)", kErrParameter};
            char* end = nullptr;
            const unsigned long len = std::strtoul(p[2].c_str(), &end, 10);
            if (*end || len == 0) throw Failure{"bad field length in " + fieldText, kErrParameter};
            names.push_back(p[0]);
            fields.push_back({names.back().c_str(), p[1][0], static_cast<unsigned>(len), 0, false});
        }
        fields.push_back({nullptr, 0, 0, 0, false});
        std::vector<DbTagInfo> tags;
        for (std::size_t i = 3; i < a.size(); ++i) {
            const std::size_t eq = a[i].find('=');
            if (eq == std::string::npos || eq == 0) throw Failure{"bad tag " + a[i] + " (want TAG=EXPR)", kErrParameter};
            names.push_back(a[i].substr(0, eq));
            const char* tagName = names.back().c_str();
            names.push_back(a[i].substr(eq + 1));
            tags.push_back({tagName, names.back().c_str(), nullptr, false, false});
        }
        tags.push_back({nullptr, nullptr, nullptr, false, false});
        DbTable* t = DbTable::Create(m_context, a[1].c_str(), fields.data(), tags.data());
        if (!t) throw Failure{"cannot create table " + a[1], m_context.ErrorCode()};
        Done(t);
        return 0;
    }

    int Append(const std::vector<std::string>& a) {
        if (a.size() != 2) throw Failure{kUsage, kErrParameter};
        DbTable* t = OpenTable(a[1]);
        std::string line;
        std::size_t lineNumber = 0;
        while (std::getline(m_in, line)) {
            ++lineNumber;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const auto values = Split(line, '\t');
            if (values.size() > static_cast<std::size_t>(t->FieldCount()))
                throw Failure{"line " + std::to_string(lineNumber) + ": more values than fields", kErrParameter};
            if (int rc = t->AppendStart(); rc != kOk) throw Failure{"append failed", rc};
            t->Blank();
            for (std::size_t i = 0; i < values.size(); ++i) {
                std::string bytes;
                if (!UnescapeBytes(values[i], bytes))
                    throw Failure{"line " + std::to_string(lineNumber) + ": bad escape", kErrParameter};
                if (t->FieldAt(static_cast<int>(i))->AssignBytes(bytes.data(), bytes.size()) != kOk)
                    throw Failure{"line " + std::to_string(lineNumber) + ": value longer than field " +
                                      t->FieldAt(static_cast<int>(i))->Name(),
                                  kErrGeneral};
            }
            if (int rc = t->Append(); rc != kOk) throw Failure{"append failed", rc};
        }
        Done(t);
        return 0;
    }

    int Dump(const std::vector<std::string>& a) {
        if (a.size() != 2) throw Failure{kUsage, kErrParameter};
        DbTable* t = OpenTable(a[1]);
        for (std::uint32_t n = 1; n <= t->RecordCount(); ++n) {
            if (int rc = t->Go(n); rc != kOk) throw Failure{"cannot read record " + std::to_string(n), rc};
            m_out << n << '\t' << (t->IsDeleted() ? '*' : ' ');
            for (int i = 0; i < t->FieldCount(); ++i) {
                DbField* f = t->FieldAt(i);
                m_out << '\t' << EscapeBytes(std::string_view(f->Ptr(), f->Length()));
            }
            m_out << '\n';
        }
        Done(t);
        return 0;
    }

    int Keys(const std::vector<std::string>& a) {
        if (a.size() != 3) throw Failure{kUsage, kErrParameter};
        DbTable* t = OpenTable(a[1]);
        CdxTag& tag = FindTag(t, a[2])->impl();
        const int rc = tag.tree->Walk([&](const std::uint8_t* key, std::uint32_t rec) {
            m_out << rec << '\t'
                  << EscapeBytes(std::string_view(reinterpret_cast<const char*>(key), tag.tree->KeyLength())) << '\n';
            return 0;
        });
        if (rc != kOk) throw Failure{"tag " + a[2] + " is damaged", rc};
        Done(t);
        return 0;
    }

    int Seek(const std::vector<std::string>& a) {
        if (a.size() != 3 && a.size() != 4) throw Failure{kUsage, kErrParameter};
        DbTable* t = OpenTable(a[1]);
        t->SelectTag(FindTag(t, a[2]));
        // Only the result and the record number are shown, so the record
        // itself is not read: a look-up of the index alone, with the same
        // answers and the same checks of the record number as a seek.
        std::string key;
        auto one = [&](const std::string& text) {
            if (!UnescapeBytes(text, key)) throw Failure{"bad escape in key", kErrParameter};
            std::uint32_t record = 0;
            const int rc = t->impl().Find(key.data(), key.size(), record);
            if (rc < 0) throw Failure{"seek failed", rc};
            m_out << rc;
            if (rc == kOk || rc == kAfter) m_out << '\t' << record;
            m_out << '\n';
        };
        if (a.size() == 4) {
            one(a[3]);
        } else {
            std::string line;
            while (std::getline(m_in, line)) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                one(line);
            }
        }
        Done(t);
        return 0;
    }

    int Check(const std::vector<std::string>& a) {
        if (a.size() != 2) throw Failure{kUsage, kErrParameter};
        // Read-only, so that checking never repairs: an index left marked by
        // an interrupted write is reported (-310), not silently rebuilt.
        m_context.readOnly = true;
        DbTable* t = OpenTable(a[1]);
        const auto problems = CheckTable(*t);
        for (const auto& p : problems) m_out << p << '\n';
        Done(t);
        return problems.empty() ? 0 : 1;
    }

    int Pack(const std::vector<std::string>& a) {
        if (a.size() != 2) throw Failure{kUsage, kErrParameter};
        DbTable* t = OpenTable(a[1]);
        if (int rc = t->Pack(); rc != kOk) throw Failure{"pack failed", rc};
        Done(t);
        return 0;
    }

    int Reindex(const std::vector<std::string>& a) {
        if (a.size() != 2) throw Failure{kUsage, kErrParameter};
        DbTable* t = OpenTable(a[1]);
        if (int rc = t->Reindex(); rc != kOk) throw Failure{"reindex failed", rc};
        Done(t);
        return 0;
    }

private:
    DbContext m_context;
    std::istream& m_in;
    std::ostream& m_out;
};

}  // namespace

int RunTvxdb(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << kUsage << '\n';
        return 2;
    }
    Tool tool(in, out);
    const std::string& command = args[0];
    // The output is buffered: whatever a command wrote goes out before the
    // error line that ends it, and before the exit.
    try {
        int rc = 2;
        if (command == "create") rc = tool.Create(args);
        else if (command == "append") rc = tool.Append(args);
        else if (command == "dump") rc = tool.Dump(args);
        else if (command == "keys") rc = tool.Keys(args);
        else if (command == "seek") rc = tool.Seek(args);
        else if (command == "check") rc = tool.Check(args);
        else if (command == "pack") rc = tool.Pack(args);
        else if (command == "reindex") rc = tool.Reindex(args);
        else err << kUsage << '\n';
        out.flush();
        return rc;
    } catch (const Failure& f) {
        out.flush();
        err << "tvxdb: " << f.message << " (code " << f.code << ")\n";
        return 2;
    }
}

}  // namespace tvx::db

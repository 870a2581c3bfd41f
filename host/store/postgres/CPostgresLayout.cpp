#include "host/store/postgres/CPostgresLayout.h"

#include <map>
#include <stdexcept>
#include <vector>

#include <pqxx/pqxx>

#include "host/store/postgres/CPostgresPartitions.h"
#include "host/store/postgres/CPostgresSchema.h"
#include "host/store/postgres/CPostgresStore.h"

namespace Kol {
namespace Host {

namespace {

const int kClasses = 5;

std::string Kind(const std::string& relkind) {
    static const std::map<std::string, std::string> kinds = {{"r", "a table"},
                                                             {"p", "a partitioned table"},
                                                             {"v", "a view"},
                                                             {"m", "a materialized view"},
                                                             {"f", "a foreign table"}};
    const auto found = kinds.find(relkind);
    return found != kinds.end() ? found->second : "a relation of kind " + relkind;
}

std::string Text(const pqxx::field& field) {
    return field.is_null() ? std::string() : std::string(field.c_str());
}

// The server quotes a bigint bound's values ("IN ('1')"); we write them bare.
std::string Unquoted(const std::string& bound) {
    std::string bare;
    for (const char c : bound) {
        if (c != '\'') {
            bare += c;
        }
    }
    return bare;
}

std::string PrimaryKey(const std::string& columns) {
    return columns.empty() ? "no primary key" : "primary key (" + columns + ")";
}

// The tables of the schema, and the class and default partitions, as an SQL
// array literal.
std::string Array(const std::vector<std::string>& names) {
    std::string array;
    for (const std::string& name : names) {
        array += (array.empty() ? "{" : ",") + name;
    }
    return array + "}";
}

struct Table {
    std::string kind;
    std::string partitionKey;
    std::string primaryKey;
    std::map<std::string, std::string> columns;  // name: "type" or "type NOT NULL"
};

std::string ColumnText(const std::string& type, bool notNull) {
    return type + (notNull ? " NOT NULL" : "");
}

}  // namespace

CPostgresLayout::CPostgresLayout(CPostgresStore& store) : m_store(store) {}

void CPostgresLayout::Check(std::int64_t version) {
    std::string difference = TablesDiffer(version);
    if (difference.empty()) {
        difference = PartitionsDiffer();
    }
    if (!difference.empty()) {
        throw std::invalid_argument(m_store.GetName() +
                                    " does not have cleanup-agent's layout: " + difference);
    }
}

std::string CPostgresLayout::TablesDiffer(std::int64_t version) {
    const pqxx::result rows = m_store.Run(
        "SELECT c.relname, c.relkind::text, pg_catalog.pg_get_partkeydef(c.oid),"
        " (SELECT pg_catalog.string_agg(k.attname::text, ', ' ORDER BY k.attnum)"
        " FROM pg_catalog.pg_index i JOIN pg_catalog.pg_attribute k ON k.attrelid = i.indrelid"
        " AND k.attnum = ANY (i.indkey) WHERE i.indrelid = c.oid AND i.indisprimary),"
        " a.attname, pg_catalog.format_type(a.atttypid, a.atttypmod), a.attnotnull"
        " FROM pg_catalog.pg_class c LEFT JOIN pg_catalog.pg_attribute a ON a.attrelid = c.oid"
        " AND a.attnum > 0 AND NOT a.attisdropped"
        " WHERE c.relnamespace = $1::text::regnamespace AND c.relname = ANY ($2::text[])"
        " AND c.relkind IN ('r', 'p', 'v', 'm', 'f') ORDER BY c.relname, a.attnum",
        {m_store.Quote(m_store.GetSchema()), Array(CPostgresSchema::Tables())});
    std::map<std::string, Table> found;
    for (const auto& row : rows) {
        Table& table = found[row[0].c_str()];
        table.kind = row[1].c_str();
        table.partitionKey = Text(row[2]);
        table.primaryKey = Text(row[3]);
        if (!row[4].is_null()) {
            table.columns[row[4].c_str()] = ColumnText(row[5].c_str(), row[6].as<bool>());
        }
    }
    for (const CPostgresSchema::TableLayout& expected : CPostgresSchema::Layout(version)) {
        const auto at = found.find(expected.name);
        if (at == found.end()) {
            return "there is no table " + expected.name;
        }
        Table& table = at->second;
        const std::string kind = expected.partitionKey.empty() ? "r" : "p";
        if (table.kind != kind) {
            return expected.name + " is " + Kind(table.kind) + ", not " + Kind(kind);
        }
        if (table.partitionKey != expected.partitionKey) {
            return expected.name + " is partitioned by " + table.partitionKey + ", not " +
                   expected.partitionKey;
        }
        if (table.primaryKey != expected.primaryKey) {
            return expected.name + " has " + PrimaryKey(table.primaryKey) + ", not " +
                   PrimaryKey(expected.primaryKey);
        }
        for (const CPostgresSchema::ColumnLayout& column : expected.columns) {
            const std::string name = expected.name + "." + column.name;
            const std::string want = ColumnText(column.type, column.notNull);
            const auto has = table.columns.find(column.name);
            if (has == table.columns.end()) {
                return "there is no column " + name + " (" + want + ")";
            }
            if (has->second != want) {
                return name + " is " + has->second + ", not " + want;
            }
            table.columns.erase(has);
        }
        if (!table.columns.empty()) {
            const auto& extra = *table.columns.begin();
            return expected.name + " has a column " + Shown(extra.first) + " (" + extra.second +
                   ") that cleanup-agent does not make";
        }
    }
    return std::string();
}

std::string CPostgresLayout::PartitionsDiffer() {
    std::vector<std::string> names;
    for (int k = 1; k <= kClasses; ++k) {
        names.push_back(CPostgresPartitions::ClassTable(k));
        names.push_back(CPostgresPartitions::DefaultName(k));
    }
    // The whole tree under logs, and our partitions' names wherever they are.
    const pqxx::result rows = m_store.Run(
        "SELECT c.relname, c.relkind::text, p.relname,"
        " pg_catalog.pg_get_expr(c.relpartbound, c.oid), pg_catalog.pg_get_partkeydef(c.oid)"
        " FROM pg_catalog.pg_class c LEFT JOIN pg_catalog.pg_inherits i ON i.inhrelid = c.oid"
        " LEFT JOIN pg_catalog.pg_class p ON p.oid = i.inhparent"
        " WHERE c.oid IN (SELECT relid FROM pg_catalog.pg_partition_tree($3::text::regclass)"
        " WHERE level > 0) OR (c.relnamespace = $1::text::regnamespace"
        " AND c.relname = ANY ($2::text[]) AND c.relkind IN ('r', 'p', 'v', 'm', 'f'))"
        " ORDER BY c.relname",
        {m_store.Quote(m_store.GetSchema()), Array(names),
         m_store.Quote(m_store.GetSchema()) + "." + m_store.Quote("logs")});
    for (const auto& row : rows) {
        const std::string name = row[0].c_str();
        const std::string kind = row[1].c_str();
        const std::string parent = Text(row[2]);
        const std::string bound = Unquoted(Text(row[3]));
        const std::string place =
            parent.empty() ? "not a partition" : "a partition of " + Shown(parent) + " " + bound;
        std::string expectedKind = "r";
        std::string expectedPlace;
        for (int k = 1; k <= kClasses; ++k) {
            const std::string table = CPostgresPartitions::ClassTable(k);
            if (name == table) {
                expectedKind = "p";
                expectedPlace = "a partition of logs " + CPostgresPartitions::ClassBound(k);
            } else if (name == CPostgresPartitions::DefaultName(k) ||
                       (parent == table && bound == "DEFAULT")) {
                expectedPlace = "a partition of " + table + " DEFAULT";
            } else if (parent == table) {
                std::int64_t from = 0;
                std::int64_t to = 0;
                expectedPlace = CPostgresPartitions::ParseSpanBound(bound, from, to)
                                    ? place
                                    : "a partition of " + table +
                                          " FOR VALUES FROM (an integer or MINVALUE) TO (an "
                                          "integer or MAXVALUE)";
            }
        }
        if (expectedPlace.empty()) {
            return Shown(name) + " is " + place + ", not one that cleanup-agent makes";
        }
        if (place != expectedPlace) {
            return Shown(name) + " is " + place + ", not " + expectedPlace;
        }
        if (kind != expectedKind) {
            return Shown(name) + " is " + Kind(kind) + ", not " + Kind(expectedKind);
        }
        const std::string key = Text(row[4]);
        if (kind == "p" && key != CPostgresPartitions::kClassKey) {
            return Shown(name) + " is partitioned by " + key + ", not " +
                   CPostgresPartitions::kClassKey;
        }
    }
    return std::string();
}

void CPostgresLayout::CheckForeignObjects() {
    // Our tables and every partition of logs. We make no trigger, rule or
    // policy: one there is another role's code, which would run with our
    // rights on every write.
    const pqxx::result foreign = m_store.Run(
        "WITH ours AS (SELECT c.oid, c.relname FROM pg_catalog.pg_class c"
        " WHERE c.relnamespace = $1::text::regnamespace AND (c.relname = ANY ($2::text[])"
        " OR c.oid IN (SELECT relid FROM pg_catalog.pg_partition_tree($3::text::regclass))))"
        " SELECT 'trigger ' || pg_catalog.quote_ident(t.tgname) || ' on ' || o.relname"
        " FROM pg_catalog.pg_trigger t JOIN ours o ON o.oid = t.tgrelid WHERE NOT t.tgisinternal"
        " UNION ALL SELECT 'rule ' || pg_catalog.quote_ident(r.rulename) || ' on ' || o.relname"
        " FROM pg_catalog.pg_rewrite r JOIN ours o ON o.oid = r.ev_class"
        " UNION ALL SELECT 'policy ' || pg_catalog.quote_ident(p.polname) || ' on ' || o.relname"
        " FROM pg_catalog.pg_policy p JOIN ours o ON o.oid = p.polrelid ORDER BY 1",
        {m_store.Quote(m_store.GetSchema()), CPostgresSchema::TablesArray(),
         m_store.Quote(m_store.GetSchema()) + "." + m_store.Quote("logs")});
    std::string names;
    for (const auto& row : foreign) {
        names += (names.empty() ? "" : ", ") + std::string(row[0].c_str());
    }
    if (!names.empty()) {
        throw std::invalid_argument(m_store.GetName() +
                                    " holds what cleanup-agent did not make: " + names);
    }
}

void CPostgresLayout::CheckOwners() {
    const pqxx::result rows = m_store.Run(
        "SELECT pg_catalog.pg_get_userbyid(c.relowner), c.relname, current_user::text"
        " FROM pg_catalog.pg_class c WHERE ((c.relnamespace = $1::text::regnamespace"
        " AND c.relname = ANY ($2::text[])) OR c.oid IN (SELECT relid"
        " FROM pg_catalog.pg_partition_tree($3::text::regclass)))"
        " AND c.relowner <> (SELECT r.oid FROM pg_catalog.pg_roles r WHERE r.rolname = "
        "current_user)"
        " ORDER BY 1, 2",
        {m_store.Quote(m_store.GetSchema()), Array(CPostgresSchema::Tables()),
         m_store.Quote(m_store.GetSchema()) + "." + m_store.Quote("logs")});
    if (rows.empty()) {
        return;
    }
    // "mallory owns logs_c1, owners; eve owns ...".
    std::string owners;
    std::string owner;
    for (const auto& row : rows) {
        if (owners.empty() || row[0].c_str() != owner) {
            owner = row[0].c_str();
            owners += (owners.empty() ? "" : "; ") + Shown(owner) + " owns ";
        } else {
            owners += ", ";
        }
        owners += Shown(row[1].c_str());
    }
    throw std::invalid_argument(m_store.GetName() + " has tables that " +
                                Shown(rows[0][2].c_str()) + " does not own (" + owners +
                                "): run cleanup-agent as their owner, not as another role, or "
                                "give --allow-other-owner");
}

std::string CPostgresLayout::Shown(const std::string& name) const {
    bool plain = !name.empty() && !(name[0] >= '0' && name[0] <= '9');
    for (const char c : name) {
        plain = plain && ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_');
    }
    return plain ? name : m_store.Quote(name);
}

}  // namespace Host
}  // namespace Kol

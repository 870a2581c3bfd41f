#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace Kol {
namespace Host {

class CPostgresStore;

// The partitions of `logs` on a PostgreSQL store: one list partition per
// retention class (logs_c1 ... logs_c5), each partitioned by two-week spans
// of created_at (logs_c1_20240603 holds the fortnight from Monday 3 June 2024,
// 00:00 UTC) with a default partition (logs_c1_default) for the spans not
// prepared.
//
// Two weeks is the span because dropping a partition costs about as much as
// deleting a few thousand rows one at a time (its catalog rows, its files
// and those of its indexes), while the one partition that straddles a
// class's cut-off is thinned out row by row: weekly partitions double the
// drops, monthly ones double the rows deleted singly. Every cut-off finds at
// most one partition to thin out, the rest go whole, and two years make about
// fifty partitions per class, few enough for the planner.
//
// Every schema change goes through CPostgresStore::RunDdl (short lock
// timeout, retried). Runs on the calling thread; throws std::runtime_error
// (pqxx::sql_error) on a database failure.
class CPostgresPartitions {
public:
    static const std::int64_t kSpanSeconds = 14 * 86400;
    // Spans prepared beyond the one asked for, so that writers find theirs
    // ready until the next runs (four weeks).
    static const int kSpansAhead = 2;
    // How each class's partition is partitioned, as the server describes it.
    static const char* const kClassKey;

    struct Partition {
        std::string name;
        std::string oid;  // in decimal
        int retentionClass = 0;
        bool isDefault = false;
        // created_at from, inclusive, and to, exclusive; MINVALUE reads as the
        // least std::int64_t, MAXVALUE as the greatest.
        std::int64_t from = 0;
        std::int64_t to = 0;
    };

    struct Dropped {
        std::uint64_t partitions = 0;
        std::uint64_t rows = 0;  // counted before the drop
        std::int64_t bytes = 0;  // tables, indexes and TOAST data
        bool interrupted = false;
        // A partition whose lock was not granted within --busy-timeout, or
        // that a view depends on, is left for a later run: one line each
        // naming it and why (the pids holding a lock, the views).
        std::vector<std::string> warnings;
    };

    explicit CPostgresPartitions(CPostgresStore& store);

    // Makes sure every class has its partitions, its default partition and
    // partitions that cover every span from `from` to kSpansAhead spans after
    // `to` (Unix seconds). Partitions already there (an administrator's,
    // of any width) serve as they are: only the parts of a span that none
    // covers get a partition of their own, clipped to the gap. A span whose
    // rows already sit in the default partition is left there. Cheap when
    // all exist.
    void Prepare(std::int64_t from, std::int64_t to);

    // The span and default partitions of one class (1 to 5).
    std::vector<Partition> List(int retentionClass);

    // Drops the span partitions of the class that lie wholly before
    // `cutoff`, several per statement; their rows and bytes are read first
    // and counted for the partitions dropped only. A group that cannot go
    // whole is dropped one partition at a time, skipping (in `warnings`) what
    // cannot be had. The lock waits of all the drops of this object share
    // one --busy-timeout, counted from its first drop (a partition tried
    // after that gets one try of --lock-timeout), so that sessions in the
    // way of several partitions cannot hold a run up several times over.
    // In a dry run only counts. Stops between statements when the thread is
    // asked to interrupt.
    Dropped DropBefore(int retentionClass, std::int64_t cutoff);
    // Drops span partitions of List, of any classes, as DropBefore does,
    // oldest first: `partitions` in the order of their ends, each group
    // taking the next ones of each class, so that an interrupted call leaves
    // the newest. Counts, leaves, dry run and interruption as DropBefore.
    Dropped DropOldestFirst(const std::vector<Partition>& partitions);

    // The Monday 00:00 UTC that starts the span of `time`.
    static std::int64_t SpanStart(std::int64_t time);
    // logs_cK_YYYYMMDD for the partition starting at `start`, with _HHMMSS
    // after it when `start` is not midnight UTC.
    static std::string SpanName(int retentionClass, std::int64_t start);
    // logs_cK, its bound in logs ("FOR VALUES IN (K)") and its default partition.
    static std::string ClassTable(int retentionClass);
    static std::string ClassBound(int retentionClass);
    static std::string DefaultName(int retentionClass);
    // Reads a span's bound as the server gives it, "FOR VALUES FROM ('1')
    // TO ('2')", either side also MINVALUE or MAXVALUE (read as in
    // Partition); false for any other (a default, a list).
    static bool ParseSpanBound(const std::string& bound, std::int64_t& from, std::int64_t& to);

private:
    typedef std::pair<std::int64_t, std::int64_t> Range;  // from, inclusive, to, exclusive

    // The parts of [first, end) that no range of `taken` (never overlapping)
    // covers, cut where spans start.
    static std::vector<Range> Uncovered(std::vector<Range> taken, std::int64_t first,
                                        std::int64_t end);
    // Drops old[first, last) into `dropped` and sets `took` to the time its
    // drops took, lock waits included; false when interrupted.
    bool DropGroup(int retentionClass, const std::vector<Partition>& old, std::size_t first,
                   std::size_t last, Dropped& dropped, std::chrono::steady_clock::duration& took);
    // Why `partition` could not be dropped (`error` the server's), one line.
    std::string WhyLeft(const Partition& partition, int retentionClass, const std::string& sqlstate,
                        const std::string& error);

    CPostgresStore& m_store;
    // When the drops' lock waits must end; unset until the first drop.
    std::chrono::steady_clock::time_point m_dropDeadline;
};

}  // namespace Host
}  // namespace Kol

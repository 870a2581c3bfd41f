#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/store/CBatchedDelete.h"
#include "host/store/IStore.h"

namespace Kol {
namespace Host {

class CPostgresStore;

// The PostgreSQL statements of a batched delete (CBatchedDelete) over the
// primary key of one table or partition (CPostgresSchema names it; keys pass
// as text, whatever their type). A search reads up to the batchRows-th match
// however far it lies: the server reads the matches through the table's
// indexes, and it runs outside any transaction.
//
// Belongs to the thread that runs the walk; the store must outlive it.
class CPostgresDeleteWalk : public CBatchedDelete<std::string>::Walk {
public:
    typedef CBatchedDelete<std::string>::Window Window;

    CPostgresDeleteWalk(CPostgresStore& store, const IStore::DeletePlan& plan);

    boost::optional<std::string> Last() override;
    boost::optional<Window> Search(const boost::optional<std::string>& after,
                                   const std::string& last, std::size_t batchRows) override;
    std::uint64_t Delete(const Window& window,
                         const std::function<bool(std::uint64_t removed)>& keep) override;

private:
    // "$N::<key type>" for the next parameter after `values`.
    std::string Next(const std::vector<std::string>& values) const;

    CPostgresStore& m_store;
    const std::string m_table;
    const std::string m_key;
    const std::string m_keyType;
    const std::string m_condition;
    const std::vector<std::string> m_values;  // the plan's
};

}  // namespace Host
}  // namespace Kol

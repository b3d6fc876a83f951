#include "component/shared_connection.h"

#include "module/trace.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

struct SharedConnection::State {
    struct Lent {
        IAddInDefBaseEx* connection;
        uint32_t count;
    };

    std::vector<Lent>::iterator findLent(IAddInDefBaseEx* connection) {
        return std::find_if(lent.begin(), lent.end(),
                            [&](const Lent& entry) { return entry.connection == connection; });
    }

    std::mutex mutex;
    std::condition_variable givenBack;
    IAddInDefBaseEx* current = nullptr;
    // Connections on loan, with their loans; one or two at most.
    std::vector<Lent> lent;
};

namespace {

// The loans of this thread, innermost last: a handler may cause another barcode to be delivered
// on its own thread.
struct ThreadLoan {
    const void* state;
    IAddInDefBaseEx* connection;
};
thread_local std::vector<ThreadLoan> t_loans;

}  // namespace

SharedConnection::SharedConnection() : m_state(std::make_shared<State>()) {}

SharedConnection::~SharedConnection() = default;

SharedConnection::Loan::~Loan() {
    if (!m_state) {
        return;
    }
    t_loans.pop_back();
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        auto lent = m_state->findLent(m_connection);
        if (lent != m_state->lent.end() && --lent->count == 0) {
            m_state->lent.erase(lent);
        }
    }
    // The state lives as long as this loan, so it may be notified after the lock is released.
    m_state->givenBack.notify_all();
}

SharedConnection::Loan SharedConnection::borrow() const {
    // Room first: nothing may fail once the loan is counted.
    t_loans.reserve(t_loans.size() + 1);
    State& state = *m_state;
    std::lock_guard<std::mutex> lock(state.mutex);
    IAddInDefBaseEx* connection = state.current;
    if (connection == nullptr) {
        return Loan(nullptr, nullptr);
    }
    auto lent = state.findLent(connection);
    if (lent != state.lent.end()) {
        ++lent->count;
    } else {
        state.lent.push_back(State::Lent{connection, 1});
    }
    t_loans.push_back(ThreadLoan{&state, connection});
    return Loan(m_state, connection);
}

IAddInDefBaseEx* SharedConnection::current() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->current;
}

void SharedConnection::replace(IAddInDefBaseEx* connection) {
    State& state = *m_state;
    std::unique_lock<std::mutex> lock(state.mutex);
    IAddInDefBaseEx* replaced = std::exchange(state.current, connection);
    if (replaced == nullptr || replaced == connection) {
        return;
    }
    auto lentToOthers = [&] {
        auto lent = state.findLent(replaced);
        auto onThisThread = std::count_if(t_loans.begin(), t_loans.end(), [&](const ThreadLoan& loan) {
            return loan.state == &state && loan.connection == replaced;
        });
        return lent == state.lent.end() ? 0 : lent->count - static_cast<uint32_t>(onThisThread);
    };
    auto othersGaveBack = [&] { return lentToOthers() == 0; };
    if (state.givenBack.wait_for(lock, std::chrono::seconds(1), othersGaveBack)) {
        return;
    }
    uint32_t waiting = lentToOthers();
    lock.unlock();
    trace("on init: still waiting, deliveries running on other threads: %u", waiting);
    lock.lock();
    state.givenBack.wait(lock, othersGaveBack);
}

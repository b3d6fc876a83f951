#include "component/shared_connection.h"

#include "module/trace.h"

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

// Every barcode passes here twice (borrow and the loan's end), so the state is guarded by a spin
// lock held for a few instructions, never while waiting: a mutex and a condition variable would
// cost each barcode more than all the rest of its way to the host but for its log lines. Only
// replace waits, and it polls.
struct SharedConnection::State {
    // One loan: which connection, on which thread.
    struct Loan {
        IAddInDefBaseEx* connection;
        pthread_t thread;
    };

    class Guard {
    public:
        explicit Guard(State& state) : m_state(state) {
            while (m_state.locked.test_and_set(std::memory_order_acquire)) {
                std::this_thread::yield();
            }
        }
        ~Guard() { m_state.locked.clear(std::memory_order_release); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        State& m_state;
    };

    State() { loans.reserve(8); }

    // Loans of the connection on other threads than the calling one. Under the lock.
    uint32_t lentToOthers(IAddInDefBaseEx* connection) const {
        uint32_t count = 0;
        pthread_t self = pthread_self();
        for (const Loan& loan : loans) {
            count += loan.connection == connection && !pthread_equal(loan.thread, self) ? 1 : 0;
        }
        return count;
    }

    std::atomic_flag locked = ATOMIC_FLAG_INIT;
    IAddInDefBaseEx* current = nullptr;
    // The loans running now, in any order; as many as deliveries run at once (room for a few is
    // made up front, so a barcode allocates nothing here).
    std::vector<Loan> loans;
};

SharedConnection::SharedConnection() : m_state(std::make_shared<State>()) {}

SharedConnection::~SharedConnection() = default;

SharedConnection::Loan::~Loan() {
    if (!m_state) {
        return;
    }
    pthread_t self = pthread_self();
    State::Guard guard(*m_state);
    std::vector<State::Loan>& loans = m_state->loans;
    // The newest loan of this thread is this one: loans on one thread end innermost first.
    for (size_t i = loans.size(); i-- > 0;) {
        if (pthread_equal(loans[i].thread, self) && loans[i].connection == m_connection) {
            loans[i] = loans.back();
            loans.pop_back();
            break;
        }
    }
}

SharedConnection::Loan SharedConnection::borrow() const {
    State& state = *m_state;
    IAddInDefBaseEx* connection;
    {
        State::Guard guard(state);
        connection = state.current;
        if (connection == nullptr) {
            return Loan(nullptr, nullptr);
        }
        // May allocate only when more deliveries run at once than ever before; a failure throws
        // before anything is counted.
        state.loans.push_back(State::Loan{connection, pthread_self()});
    }
    return Loan(m_state, connection);
}

IAddInDefBaseEx* SharedConnection::current() const {
    State::Guard guard(*m_state);
    return m_state->current;
}

void SharedConnection::replace(IAddInDefBaseEx* connection) {
    State& state = *m_state;
    IAddInDefBaseEx* replaced;
    {
        State::Guard guard(state);
        replaced = std::exchange(state.current, connection);
    }
    if (replaced == nullptr || replaced == connection) {
        return;
    }
    auto lentToOthers = [&] {
        State::Guard guard(state);
        return state.lentToOthers(replaced);
    };
    auto start = std::chrono::steady_clock::now();
    bool logged = false;
    for (uint32_t waiting = lentToOthers(); waiting != 0; waiting = lentToOthers()) {
        if (!logged && std::chrono::steady_clock::now() - start > std::chrono::seconds(1)) {
            logged = true;
            trace("on init: still waiting, deliveries running on other threads: %u", waiting);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// The host's connection as a component's barcode deliveries share it. A delivery borrows the
// current connection for the time of its external event; replacing the connection (Init again,
// or with null) returns only once no delivery on another thread still holds the one replaced, so
// the host may release that connection as soon as Init returns.
//
// Threads: replace runs on the host's thread (or inside a delivery, when a handler calls Init);
// borrow and the loan's end run on the Java threads that deliver barcodes. Everything is read and
// written under one lock, which is never held while the host is called. A loan keeps that state
// alive by itself: a handler may destroy the component whose connection it was lent.
#pragma once

#include "host/host_api.h"

#include <memory>

class SharedConnection {
    struct State;

public:
    // The connection one delivery uses, from borrow to the end of the loan; null: there is none.
    class Loan {
    public:
        Loan(Loan&& other) noexcept = default;
        ~Loan();
        Loan(const Loan&) = delete;
        Loan& operator=(const Loan&) = delete;
        Loan& operator=(Loan&&) = delete;

        IAddInDefBaseEx* get() const { return m_connection; }

    private:
        friend class SharedConnection;
        Loan(std::shared_ptr<State> state, IAddInDefBaseEx* connection)
            : m_state(std::move(state)), m_connection(connection) {}
        std::shared_ptr<State> m_state;  // null when nothing was lent
        IAddInDefBaseEx* m_connection;
    };

    SharedConnection();
    ~SharedConnection();
    SharedConnection(const SharedConnection&) = delete;
    SharedConnection& operator=(const SharedConnection&) = delete;

    // The current connection, lent until the loan ends.
    Loan borrow() const;
    // The current connection, for a look only.
    IAddInDefBaseEx* current() const;
    // Makes connection (null included) the current one, then waits until no other thread holds
    // the one it replaces. A loan further up the calling thread's own stack (a handler that calls
    // Init) is not waited for: it ends only after this returns. A wait of more than a second is
    // logged once.
    void replace(IAddInDefBaseEx* connection);

private:
    std::shared_ptr<State> m_state;
};

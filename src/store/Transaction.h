#pragma once
// Steps that must stand or fall together: the guard begins a transaction on
// the connection when made, commit() makes the steps stay, and a guard
// destroyed uncommitted (an error thrown on the way) rolls all of them back.
// While it is open the connection refuses to close, which would otherwise
// end the transaction unseen.
class Connection;

class Transaction {
public:
    explicit Transaction(Connection &connection);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // Throws AppError when the commit fails; the steps are rolled back then.
    void commit();
    bool isOpen() const { return open_; }

private:
    Connection &connection_;
    bool open_ = false;
};

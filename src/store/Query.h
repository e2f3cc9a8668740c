#pragma once
// A query on a connection, in the manner the windows use it: an SQL text,
// a snapshot of the result with a cursor, fields by name as text, and row
// operations (edit, append, post, delete).
//
// Rows are read when a cursor or a grid needs them, a page at a time, and no
// statement stays open between events: opening "select * from xstj" costs the
// same with a million archived tickets as with none. The snapshot is bounded
// by the table's largest row key at opening, so rows that other connections
// add later are seen only after a reopen; rows appended through this query
// follow the snapshot at its end.
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <memory>
#include <optional>
#include <vector>

class Connection;

class Query : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    explicit Query(Connection &connection, const QString &sql = {}, QObject *parent = nullptr);
    ~Query() override;

    Connection &connection() const { return connection_; }

    // SQL text: one statement. Typed text never goes into it; "?" marks a
    // value bound with bindValue (in order of appearance).
    void clearSql();
    void addSql(const QString &line);
    void setSql(const QString &text);
    QString sql() const { return sqlLines_.join(QLatin1Char('\n')); }
    void bindValue(const QVariant &value) { bindings_.append(value); }
    void clearBindings() { bindings_.clear(); }
    const QVariantList &bindings() const { return bindings_; }

    void open();
    void close();
    void setActive(bool active);
    bool isActive() const { return state_ != State::Inactive; }
    State state() const { return state_; }

    // Cursor. eof is true past the last row and on an empty result; after
    // next() at the last row the cursor stays on that row.
    void first();
    void next();
    void last();
    bool eof();
    bool isEmpty();
    int recordCount();
    int recNo(); // 1-based; 0 on an empty result

    // Columns of the result, in order.
    QStringList fieldNames();
    bool hasField(const QString &name);
    // The current row's column as text: numbers in general format, null as
    // empty text, and empty text when there is no current row.
    QString fieldText(const QString &name);
    QVariant fieldValue(const QString &name);
    // Writes into the started row; a number column converts the text
    // (empty stores null) or fails with the field's conversion message.
    void setFieldText(const QString &name, const QString &text);

    void edit();   // on an empty result, starts a new row instead
    void append(); // starts a new row at the end
    void post();
    void cancel();
    void remove(); // deletes the current row

    // For grids and sums: rows already read, whether more can be read, and
    // reading on. rowCountFetched() counts only rows a grid may show now.
    int rowCountFetched() const;
    bool canFetchMore() const;
    void fetchMore(int rows = kPageSize);
    // Column value of a shown row, as text / as value.
    QString textAt(int row, int column) const;
    QVariant valueAt(int row, int column) const;
    int columnIndex(const QString &name); // -1 if absent
    bool isNumberColumn(int column) const;
    int currentIndex() const; // index of the current row among shown rows, -1 if none
    // Moves the cursor to a shown row (a grid click).
    void moveTo(int row);
    // Visits every row of the snapshot (reads all of it).
    template <class F> void forEachRow(F &&f)
    {
        fetchAll();
        for (int i = 0; i < rowCountFetched(); ++i)
            f(i);
    }

    static constexpr int kPageSize = 256;

signals:
    // Shown rows change; "about to" comes before the change, as models need.
    void aboutToReset();
    void reset(); // opened or closed
    void aboutToInsertRows(int first, int last);
    void rowsInserted(int first, int last);
    void rowChanged(int row);
    void aboutToRemoveRow(int row);
    void rowRemoved(int row);
    void currentChanged();

private:
    struct Row {
        qint64 key = 0;
        QVector<QVariant> values;
    };
    struct Plan;

    void ensureOpen() const;
    void prepareColumns();
    bool fetchPage(int rows);
    void fetchAll();
    bool ensureRow(int index);
    int headTotal();
    QString appendedKeysExcluded() const;
    Row *currentRow();
    const Row *rowAtShown(int index) const;
    int shownIndexOfCursor() const;
    void checkBrowse();
    int fieldIndexOrThrow(const QString &name);
    std::optional<Row> readRow(qint64 key);
    void requireActive() const;
    void requireKeyed(const char *what) const;

    Connection &connection_;
    QStringList sqlLines_;
    QVariantList bindings_;
    State state_ = State::Inactive;

    // What the text means, worked out at open.
    std::unique_ptr<Plan> plan_;
    QStringList columns_;
    QVector<bool> numeric_;

    std::vector<Row> head_;   // rows of the snapshot read so far, in result order
    std::vector<Row> tail_;   // rows appended through this query, after the snapshot
    bool exhausted_ = false;  // head_ holds the whole snapshot
    bool opening_ = false;
    bool announcing_ = false; // rows being reported to models
    std::optional<int> headTotal_;

    // Cursor: a row of head_ or of tail_; none on an empty result.
    bool curTail_ = false;
    int curIdx_ = -1;
    bool eof_ = true;

    // Started row.
    QVector<QVariant> buffer_;
    QVector<bool> assigned_;
    bool modified_ = false;
};

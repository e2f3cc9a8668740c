-- The delivered database: seven tables, one of the program's own, and the
-- rows that must exist.
-- xsxx and dynr carry an ID key; the other tables use SQLite's implicit rowid,
-- so "select *" gives exactly their columns (the export writes them as headers).

CREATE TABLE spxx (
  品名 TEXT,
  单价 REAL
);
-- Partial: exact names are found through it, while "Select Distinct 品名" (the
-- pick list) still lists the names in the catalogue's own order.
CREATE INDEX spxx_品名 ON spxx(品名) WHERE 品名 IS NOT NULL;

CREATE TABLE xsxx (
  ID   INTEGER PRIMARY KEY AUTOINCREMENT,
  单号 TEXT(50),
  时间 TEXT(50),
  客户 TEXT(255),
  电话 TEXT(255),
  品名 TEXT(255),
  单价 REAL,
  数量 REAL,
  金额 REAL,
  折后 REAL,
  备注 TEXT(255)
);

CREATE TABLE dynr (
  ID   INTEGER PRIMARY KEY AUTOINCREMENT,
  店名 TEXT(255),
  备注 TEXT(255)
);

CREATE TABLE xstj (
  单号   TEXT,
  时间   TEXT,
  数量   REAL,
  金额   REAL,
  折后   REAL,
  收银员 TEXT
);
CREATE INDEX xstj_单号 ON xstj(单号);
CREATE INDEX xstj_时间 ON xstj(时间);
CREATE INDEX xstj_收银员 ON xstj(收银员);

CREATE TABLE xsmx (
  单号 TEXT,
  时间 TEXT,
  客户 TEXT,
  电话 TEXT,
  品名 TEXT,
  单价 REAL,
  数量 REAL,
  金额 REAL,
  折后 REAL
);
CREATE INDEX xsmx_单号 ON xsmx(单号);

-- The program's own: sales archived whose receipts are printing. A row left
-- by a program that ended while printing is shown to the cashier at the next
-- start (print it again, or undo the sale).
CREATE TABLE dyzt (
  单号 TEXT PRIMARY KEY,
  实收 TEXT,
  找零 TEXT,
  开始 TEXT
);

CREATE TABLE id (
  客户  TEXT,
  电话  TEXT,
  pos   TEXT,
  print TEXT
);

CREATE TABLE username (
  用户名 TEXT,
  密码   TEXT,
  权限   TEXT
);

INSERT INTO id (客户, 电话, pos, print) VALUES ('1', '1', '58', '1');
INSERT INTO dynr (店名, 备注) VALUES ('', '');
INSERT INTO username (用户名, 密码, 权限) VALUES ('admin', '', '管理员');

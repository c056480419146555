// The look-up workload of the benchmark: indexed point queries by primary key on random rows, as
// the first users after a restart would send them, from one client that times every query.
// Usage: lookup_bench DATABASE USER COUNT SEED TABLE:ROWS...   (password in FBWARM_FB_PASSWORD)
// Keys come from the seed alone, so every run with the same arguments asks for the same rows.
// Prints one JSON line: queries, rows found, total seconds, p50 and p99 in milliseconds.
#include <ibase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Table {
  std::string name;
  long long rows;
};

struct Query {
  size_t table;
  long long key;
};

void Check(const ISC_STATUS* status, const char* what) {
  if (status[0] != 1 || status[1] == 0) return;
  std::string text = what;
  char line[512];
  const ISC_STATUS* vector = status;
  while (fb_interpret(line, sizeof line, &vector) > 0) text += std::string(": ") + line;
  throw std::runtime_error(text);
}

class Connection {
 public:
  Connection(const std::string& database, const std::string& user, const std::string& password) {
    std::vector<char> dpb{isc_dpb_version1};
    AddString(dpb, isc_dpb_user_name, user);
    AddString(dpb, isc_dpb_password, password);
    isc_attach_database(status_, 0, database.c_str(), &db_, static_cast<short>(dpb.size()),
                        dpb.data());
    Check(status_, "attach");
    static char tpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed,
                         isc_tpb_rec_version};
    isc_start_transaction(status_, &tr_, 1, &db_, sizeof tpb, tpb);
    Check(status_, "start transaction");
  }
  ~Connection() {
    if (tr_) isc_commit_transaction(status_, &tr_);
    isc_detach_database(status_, &db_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  isc_db_handle* db() { return &db_; }
  isc_tr_handle* tr() { return &tr_; }

 private:
  static void AddString(std::vector<char>& dpb, char tag, const std::string& value) {
    dpb.push_back(tag);
    dpb.push_back(static_cast<char>(value.size()));
    dpb.insert(dpb.end(), value.begin(), value.end());
  }

  ISC_STATUS_ARRAY status_{};
  isc_db_handle db_ = 0;
  isc_tr_handle tr_ = 0;
};

// One prepared "SELECT * FROM table WHERE ID = ?" with buffers for its columns.
class PointQuery {
 public:
  PointQuery(Connection& c, const std::string& table) : c_(c) {
    isc_dsql_allocate_statement(status_, c_.db(), &stmt_);
    Check(status_, "allocate statement");
    out_ = MakeSqlda(1);
    const std::string sql = "SELECT * FROM " + table + " WHERE ID = ?";
    isc_dsql_prepare(status_, c_.tr(), &stmt_, 0, sql.c_str(), SQL_DIALECT_V6, out_.get());
    Check(status_, "prepare");
    if (out_->sqld > out_->sqln) {
      out_ = MakeSqlda(out_->sqld);
      isc_dsql_describe(status_, &stmt_, SQLDA_VERSION1, out_.get());
      Check(status_, "describe");
    }
    BindColumns();
    in_ = MakeSqlda(1);
    in_->sqld = 1;
    in_->sqlvar[0].sqltype = SQL_INT64;
    in_->sqlvar[0].sqllen = sizeof key_;
    in_->sqlvar[0].sqldata = reinterpret_cast<char*>(&key_);
  }
  ~PointQuery() { isc_dsql_free_statement(status_, &stmt_, DSQL_drop); }
  PointQuery(const PointQuery&) = delete;
  PointQuery& operator=(const PointQuery&) = delete;

  // Runs the query for one key and returns the number of rows it found.
  int Run(long long key) {
    key_ = key;
    isc_dsql_execute(status_, c_.tr(), &stmt_, SQLDA_VERSION1, in_.get());
    Check(status_, "execute");
    int rows = 0;
    while (isc_dsql_fetch(status_, &stmt_, SQLDA_VERSION1, out_.get()) == 0) ++rows;
    Check(status_, "fetch");
    isc_dsql_free_statement(status_, &stmt_, DSQL_close);
    Check(status_, "close");
    return rows;
  }

 private:
  struct FreeSqlda {
    void operator()(XSQLDA* p) const { std::free(p); }
  };
  using Sqlda = std::unique_ptr<XSQLDA, FreeSqlda>;

  static Sqlda MakeSqlda(short columns) {
    Sqlda d(static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(columns))));
    if (!d) throw std::bad_alloc();
    d->version = SQLDA_VERSION1;
    d->sqln = columns;
    return d;
  }

  void BindColumns() {
    buffers_.resize(out_->sqld);
    nulls_.resize(out_->sqld);
    for (short i = 0; i < out_->sqld; ++i) {
      XSQLVAR& v = out_->sqlvar[i];
      buffers_[i].resize(v.sqllen + sizeof(short));  // room for a VARCHAR's length word
      v.sqldata = buffers_[i].data();
      v.sqlind = &nulls_[i];
    }
  }

  Connection& c_;
  ISC_STATUS_ARRAY status_{};
  isc_stmt_handle stmt_ = 0;
  Sqlda out_, in_;
  std::vector<std::vector<char>> buffers_;
  std::vector<short> nulls_;
  ISC_INT64 key_ = 0;
};

std::vector<Query> MakeQueries(const std::vector<Table>& tables, long count, unsigned seed) {
  std::mt19937_64 random(seed);
  std::vector<Query> queries;
  for (long i = 0; i < count; ++i) {
    const size_t t = random() % tables.size();
    queries.push_back(
        {t, static_cast<long long>(random() % static_cast<unsigned long long>(tables[t].rows))});
  }
  return queries;
}

double Percentile(std::vector<double> sorted, double p) {
  const size_t i =
      std::min(sorted.size() - 1, static_cast<size_t>(p * static_cast<double>(sorted.size())));
  return sorted[i];
}

Table ParseTable(const std::string& arg) {
  const size_t colon = arg.find(':');
  if (colon == std::string::npos)
    throw std::runtime_error("table argument is NAME:ROWS, not " + arg);
  const long long rows = std::stoll(arg.substr(colon + 1));
  if (rows <= 0) throw std::runtime_error("table without rows: " + arg);
  return {arg.substr(0, colon), rows};
}

int Main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: lookup_bench DATABASE USER COUNT SEED TABLE:ROWS...\n");
    return 2;
  }
  const char* password = std::getenv("FBWARM_FB_PASSWORD");
  std::vector<Table> tables;
  for (int i = 5; i < argc; ++i) tables.push_back(ParseTable(argv[i]));
  const auto queries =
      MakeQueries(tables, std::stol(argv[3]), static_cast<unsigned>(std::stoul(argv[4])));

  Connection connection(argv[1], argv[2], password ? password : "");
  std::vector<std::unique_ptr<PointQuery>> prepared;
  for (const Table& t : tables)
    prepared.push_back(std::make_unique<PointQuery>(connection, t.name));

  using Clock = std::chrono::steady_clock;
  std::vector<double> millis;
  long found = 0;
  const auto start = Clock::now();
  for (const Query& q : queries) {
    const auto before = Clock::now();
    found += prepared[q.table]->Run(q.key);
    millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - before).count());
  }
  const std::chrono::duration<double> total = Clock::now() - start;
  std::sort(millis.begin(), millis.end());
  std::printf(
      "{\"queries\": %zu, \"found\": %ld, \"total_s\": %.6f, \"p50_ms\": %.4f, \"p99_ms\": %.4f}\n",
      queries.size(), found, total.count(), Percentile(millis, 0.50), Percentile(millis, 0.99));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lookup_bench: %s\n", e.what());
    return 1;
  }
}

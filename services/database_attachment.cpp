#include "services/database_attachment.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/text.h"
#include "ibclient/errors.h"
#include "ibclient/status_vector.h"
#include "platform/text_encoding.h"

namespace {

constexpr unsigned short kDialect = 3;
constexpr ISC_STATUS kNoMoreRows = 100;   // isc_dsql_fetch's return at the end of the cursor
constexpr size_t kMaxInfoBuffer = 32767;  // the buffer length is a signed 16-bit value
constexpr size_t kMaxShortLength = 32767;

// The transaction element of isc_start_multiple, as the client library lays it out.
struct TransactionElement {
  isc_db_handle* database;
  int tpb_length;
  const char* tpb;
};

void CheckLength(size_t length, std::u16string_view what) {
  if (length > kMaxShortLength)
    throw EIBClientError(
        0, std::u16string(what) + u" too long (" + DecimalText(length) + u" bytes, at most 32767)");
}

void AppendDpbText(std::string& dpb, char code, const std::string& value) {
  if (value.size() > 255)
    throw EIBClientError(
        0, u"DPB parameter value too long (" + DecimalText(value.size()) + u" bytes, at most 255)");
  dpb += code;
  dpb += static_cast<char>(value.size());
  dpb += value;
}

std::string BuildDpb(const AttachmentTarget& target) {
  std::string dpb(1, static_cast<char>(isc_dpb_version1));
  AppendDpbText(dpb, isc_dpb_user_name, ToNarrow(target.user));
  AppendDpbText(dpb, isc_dpb_password, ToNarrow(target.password));
  // Text columns arrive as UTF-8 whatever the database's own character set.
  AppendDpbText(dpb, isc_dpb_lc_ctype, "UTF8");
  return dpb;
}

// A read-only, read-committed transaction: it sees committed data without taking part in
// garbage collection or holding back the oldest snapshot. Rolled back unless committed.
class ReadOnlyTransaction {
 public:
  ReadOnlyTransaction(IGDSLibrary& library, isc_db_handle& database) : library_(library) {
    static constexpr char kTpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed,
                                    isc_tpb_rec_version, isc_tpb_nowait};
    TransactionElement element{&database, sizeof kTpb, kTpb};
    if (library_.isc_start_multiple(ThreadStatusVector(), &handle_, 1, &element) > 0) {
      handle_ = 0;
      RaiseStatusVectorError(library_);
    }
  }
  ~ReadOnlyTransaction() {
    if (handle_) library_.isc_rollback_transaction(ThreadStatusVector(), &handle_);
  }
  ReadOnlyTransaction(const ReadOnlyTransaction&) = delete;
  ReadOnlyTransaction& operator=(const ReadOnlyTransaction&) = delete;

  isc_tr_handle& Handle() { return handle_; }
  void Commit() {
    if (library_.isc_commit_transaction(ThreadStatusVector(), &handle_) > 0)
      RaiseStatusVectorError(library_);
    handle_ = 0;
  }

 private:
  IGDSLibrary& library_;
  isc_tr_handle handle_ = 0;
};

// The output descriptor of a statement with a buffer of its own for every column.
class OutputRow {
 public:
  explicit OutputRow(short columns) { Resize(columns); }

  XSQLDA* Descriptor() { return reinterpret_cast<XSQLDA*>(descriptor_.data()); }
  short Described() { return Descriptor()->sqld; }
  void Resize(short columns) {
    descriptor_.assign(XSQLDA_LENGTH(columns < 1 ? 1 : columns), 0);
    Descriptor()->version = SQLDA_VERSION1;
    Descriptor()->sqln = columns < 1 ? 1 : columns;
  }
  // Points every column at a buffer that fits its described type.
  void Bind() {
    XSQLDA* sqlda = Descriptor();
    data_.assign(sqlda->sqld, {});
    nulls_.assign(sqlda->sqld, 0);
    for (short i = 0; i < sqlda->sqld; ++i) {
      XSQLVAR& var = sqlda->sqlvar[i];
      const int type = var.sqltype & ~1;
      if (type != SQL_TEXT && type != SQL_VARYING && type != SQL_SHORT && type != SQL_LONG &&
          type != SQL_INT64 && type != SQL_BOOLEAN)
        throw EIBClientError(0, u"Column type " + DecimalText(type) + u" not supported");
      data_[i].assign(var.sqllen + (type == SQL_VARYING ? 2 : 0) + 8, '\0');
      var.sqldata = data_[i].data();
      var.sqlind = &nulls_[i];
    }
  }
  SqlRow Values() {
    const XSQLDA* sqlda = Descriptor();
    SqlRow row;
    for (short i = 0; i < sqlda->sqld; ++i) row.push_back(Value(sqlda->sqlvar[i], data_[i]));
    return row;
  }

 private:
  static SqlValue Value(const XSQLVAR& var, const std::string& data) {
    if ((var.sqltype & 1) && var.sqlind && *var.sqlind < 0) return std::monostate();
    const char* bytes = data.data();
    switch (var.sqltype & ~1) {
      case SQL_TEXT:
        return std::string(bytes, static_cast<size_t>(var.sqllen));
      case SQL_VARYING: {
        uint16_t length;
        std::memcpy(&length, bytes, 2);
        if (length > var.sqllen) RaiseUnexpectedAnswer(u"text longer than its column");
        return std::string(bytes + 2, length);
      }
      case SQL_SHORT: {
        int16_t value;
        std::memcpy(&value, bytes, 2);
        return int64_t{value};
      }
      case SQL_LONG: {
        int32_t value;
        std::memcpy(&value, bytes, 4);
        return int64_t{value};
      }
      case SQL_INT64: {
        int64_t value;
        std::memcpy(&value, bytes, 8);
        return value;
      }
      default:  // SQL_BOOLEAN
        return int64_t{bytes[0] != 0};
    }
  }

  std::string descriptor_;
  std::vector<std::string> data_;
  std::vector<ISC_SHORT> nulls_;
};

// A statement handle, dropped when it goes.
class Statement {
 public:
  Statement(IGDSLibrary& library, isc_db_handle& database) : library_(library) {
    if (library_.isc_dsql_alloc_statement2(ThreadStatusVector(), &database, &handle_) > 0) {
      handle_ = 0;
      RaiseStatusVectorError(library_);
    }
  }
  ~Statement() {
    if (handle_) library_.isc_dsql_free_statement(ThreadStatusVector(), &handle_, DSQL_drop);
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  std::vector<SqlRow> Run(isc_tr_handle& transaction, std::string_view sql) {
    CheckLength(sql.size(), u"SQL statement");
    OutputRow row(8);
    Check(library_.isc_dsql_prepare(ThreadStatusVector(), &transaction, &handle_,
                                    static_cast<unsigned short>(sql.size()), sql.data(), kDialect,
                                    row.Descriptor()));
    if (row.Described() > row.Descriptor()->sqln) {
      row.Resize(row.Described());
      Check(library_.isc_dsql_describe(ThreadStatusVector(), &handle_, kDialect, row.Descriptor()));
    }
    row.Bind();
    Check(
        library_.isc_dsql_execute(ThreadStatusVector(), &transaction, &handle_, kDialect, nullptr));
    std::vector<SqlRow> rows;
    for (;;) {
      const ISC_STATUS status =
          library_.isc_dsql_fetch(ThreadStatusVector(), &handle_, kDialect, row.Descriptor());
      if (status == kNoMoreRows) break;
      Check(status);
      rows.push_back(row.Values());
    }
    return rows;
  }

 private:
  void Check(ISC_STATUS status) {
    if (status != 0) RaiseStatusVectorError(library_);
  }

  IGDSLibrary& library_;
  isc_stmt_handle handle_ = 0;
};

// Quotes text as an SQL string literal.
std::string Literal(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

void RaiseUnexpectedAnswer(std::u16string_view what) {
  throw EIBClientError(0, u"Unexpected answer from the server: " + std::u16string(what));
}

InfoAnswer InfoAnswer::Parse(std::string_view buffer, IGDSLibrary& library, bool* cut) {
  InfoAnswer answer;
  answer.library_ = &library;
  size_t at = 0;
  for (;;) {
    if (at >= buffer.size()) RaiseUnexpectedAnswer(u"info answer without its end");
    const auto code = static_cast<unsigned char>(buffer[at]);
    if (code == isc_info_end) return answer;
    if (code == isc_info_truncated) {
      if (!cut) RaiseUnexpectedAnswer(u"info answer cut short");
      *cut = true;
      return answer;
    }
    if (at + 3 > buffer.size()) RaiseUnexpectedAnswer(u"info item without its length");
    const auto length = static_cast<uint16_t>(library.isc_vax_integer(buffer.data() + at + 1, 2));
    if (at + 3 + length > buffer.size()) RaiseUnexpectedAnswer(u"info item longer than the answer");
    const std::string_view value = buffer.substr(at + 3, length);
    if (code != isc_info_error)
      answer.items_.push_back({code, std::string(value)});
    else  // the item asked for, then the error code, as the engine writes them
      answer.errors_.push_back(
          {value.empty() ? static_cast<unsigned char>(0) : static_cast<unsigned char>(value[0]),
           value.size() >= 5 ? library.isc_vax_integer(value.data() + 1, 4) : 0});
    at += 3 + length;
  }
}

void InfoAnswer::RaiseFirstError() const {
  if (errors_.empty()) return;
  // The engine sends the code alone; the library words it as it words a failed call.
  ISC_STATUS* vector = ThreadStatusVector();
  std::fill(vector, vector + ISC_STATUS_LENGTH, 0);
  vector[0] = isc_arg_gds;
  vector[1] = errors_.front().code;
  vector[2] = isc_arg_end;
  RaiseStatusVectorError(*library_);
}

const std::string* InfoAnswer::Find(unsigned char code) const {
  for (const Item& item : items_)
    if (item.code == code) return &item.value;
  return nullptr;
}

std::optional<int64_t> InfoAnswer::Integer(unsigned char code) const {
  const std::string* value = Find(code);
  if (!value || value->empty()) return std::nullopt;
  // The engine sends a count that outgrew 32 bits in 8 bytes, least significant first.
  if (value->size() == 8) {
    const auto low = static_cast<uint32_t>(library_->isc_vax_integer(value->data(), 4));
    const int64_t high = library_->isc_vax_integer(value->data() + 4, 4);
    return static_cast<int64_t>(static_cast<uint64_t>(high) << 32 | low);
  }
  if (value->size() > 4) return std::nullopt;
  // isc_vax_integer sign-extends the last byte; info counts are unsigned.
  const int64_t number =
      library_->isc_vax_integer(value->data(), static_cast<short>(value->size()));
  const int64_t span = int64_t{1} << (8 * value->size());
  return number < 0 ? number + span : number;
}

DatabaseAttachment::DatabaseAttachment(std::shared_ptr<IGDSLibrary> library,
                                       const AttachmentTarget& target)
    : library_(std::move(library)) {
  library_->CheckIBLoaded();
  const std::string name = ToNarrow(target.server + u":" + target.database);
  CheckLength(name.size(), u"Database name");
  const std::string dpb = BuildDpb(target);
  if (library_->isc_attach_database(ThreadStatusVector(), static_cast<short>(name.size()),
                                    name.data(), &handle_, static_cast<short>(dpb.size()),
                                    dpb.data()) > 0) {
    handle_ = 0;
    RaiseStatusVectorError(*library_);
  }
  if (handle_ == 0) RaiseUnexpectedAnswer(u"attachment without a handle");
}

DatabaseAttachment::~DatabaseAttachment() {
  if (handle_) library_->isc_detach_database(ThreadStatusVector(), &handle_);
}

void DatabaseAttachment::Detach() {
  if (!handle_) return;
  const ISC_STATUS status = library_->isc_detach_database(ThreadStatusVector(), &handle_);
  handle_ = 0;
  if (status > 0) RaiseStatusVectorError(*library_);
}

InfoAnswer DatabaseAttachment::Info(std::string_view items) {
  for (size_t size = 256;; size = std::min(size * 2, kMaxInfoBuffer)) {
    bool cut = false;
    InfoAnswer answer = InfoOnce(items, size, &cut);
    if (!cut) return answer;
    if (size == kMaxInfoBuffer) RaiseUnexpectedAnswer(u"info answer too long");
  }
}

InfoAnswer DatabaseAttachment::InfoOnce(std::string_view request, size_t buffer_length, bool* cut) {
  std::string items(request);
  items += static_cast<char>(isc_info_end);
  CheckLength(items.size(), u"Info request");
  CheckLength(buffer_length, u"Info answer buffer");
  std::string buffer(buffer_length, '\0');
  if (library_->isc_database_info(ThreadStatusVector(), &handle_, static_cast<short>(items.size()),
                                  items.data(), static_cast<short>(buffer.size()),
                                  buffer.data()) > 0)
    RaiseStatusVectorError(*library_);
  *cut = false;
  return InfoAnswer::Parse(buffer, *library_, cut);
}

std::vector<SqlRow> DatabaseAttachment::Query(std::string_view sql) {
  ReadOnlyTransaction transaction(*library_, handle_);
  std::vector<SqlRow> rows;
  {
    Statement statement(*library_, handle_);
    rows = statement.Run(transaction.Handle(), sql);
  }
  transaction.Commit();
  return rows;
}

bool DatabaseAttachment::HasRelation(std::string_view name) {
  return !Query("SELECT 1 FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = " + Literal(name)).empty();
}

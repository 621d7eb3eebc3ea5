#include "lang/call_forms.h"

#include <array>
#include <utility>

#include "lang/expression_parser.h"
#include "lang/lexer.h"
#include "lang/operation_builder.h"
#include "lang/parse_state.h"
#include "runtime/opcodes.h"

namespace tolv {

namespace {

struct CallForm {
    uint8_t opcode;    // 0: not a call form
    uint8_t min;
    uint8_t max;
    uint16_t list_max;   // results the argument list may hold, plus one
    // Raised with an excerpt of the statement.
    ErrorForm<const char*> count_error = Error::BAD_CALL_ARGUMENTS;
    ErrorForm<const char*> paren_error = Error::BAD_CALL_ARGUMENTS;
};

constexpr CallForm uri(uint8_t opcode) {
    return {opcode, 1, 1, 256, Error::WRONG_ARGUMENT_COUNT_IN_1220, Error::BAD_STATEMENT_1215};
}
constexpr CallForm database(uint8_t opcode, uint8_t min, uint8_t max) {
    return {opcode, min, max, 256, Error::BAD_CALL_ARGUMENTS, Error::BAD_CALL_ARGUMENTS};
}

struct CallFormTable {
    CallForm form[KEYWORD_COUNT] = {};
    constexpr CallFormTable() {
        form[KW_OPEN_DB] = database(OP_OPEN_DB, 3, 3);
        form[KW_CLOSE_DB] = database(OP_CLOSE_DB, 1, 2);
        form[KW_DECODE_URI] = uri(OP_DECODE_URI);
        form[KW_DECODE_URI_COMPONENT] = uri(OP_DECODE_URI_COMPONENT);
        form[KW_ENCODE_URI] = uri(OP_ENCODE_URI);
        form[KW_ENCODE_URI_COMPONENT] = uri(OP_ENCODE_URI_COMPONENT);
        form[KW_EVAL] = uri(OP_EVAL);
        form[KW_PARSE_FLOAT] = uri(OP_PARSE_FLOAT);
        form[KW_PARSE_INT] = {OP_PARSE_INT, 1, 2, 80, Error::BAD_STATEMENT_1225, Error::BAD_STATEMENT_1225};
        // sendToFront(value) or sendToFront(name, value).
        form[KW_SEND_TO_FRONT] = {OP_SEND_TO_FRONT, 1, 2, 80, Error::BAD_STATEMENT_1230, Error::BAD_STATEMENT_1230};
        form[KW_ALERT_TO_FRONT] = {OP_ALERT_TO_FRONT, 1, 1, 80, Error::BAD_STATEMENT_1235, Error::BAD_STATEMENT_1235};
        form[KW_RECORD_MAP] = database(OP_RECORD_MAP, 3, 3);
        form[KW_RECORD_HASH] = database(OP_RECORD_HASH, 2, 3);
        // mongo_ and mongoc_ keywords in the order of their keyword list.
        form[43] = database(OP_MONGO_FIND, 2, 3);
        form[44] = database(OP_MONGO_COUNT, 2, 3);
        form[45] = database(OP_MONGO_INSERT, 3, 4);
        form[46] = database(OP_MONGO_UPDATE_ONE, 4, 5);
        form[47] = database(OP_MONGO_UPDATE_MANY, 4, 5);
        form[48] = database(OP_MONGO_DELETE_ONE, 3, 4);
        form[49] = database(OP_MONGO_DELETE_MANY, 3, 4);
        form[50] = database(OP_MONGO_DROP_COLLECTION, 2, 2);
        form[51] = database(OP_MONGO_TRANSACTION, 1, 3);
        form[52] = database(OP_MONGO_RENAME_COLLECTION, 3, 3);
        form[53] = database(OP_MONGO_GET_COLLECTION, 2, 2);
        form[54] = database(OP_MONGO_COLLECTION_NAME, 2, 2);
        form[55] = database(OP_MONGO_USE_DB, 2, 2);
        form[56] = database(OP_MONGO_CURRENT_DB, 1, 1);
        form[57] = database(OP_MONGO_DROP_DB, 2, 2);
        form[58] = database(OP_MONGO_COLLECTION_NAMES, 1, 2);
        form[59] = database(OP_MONGO_GET_DATABASE, 2, 2);
        form[60] = database(OP_MONGO_ROLLBACK, 1, 1);
        form[61] = database(OP_MONGO_COMMIT, 1, 1);
        form[62] = database(OP_MONGO_FIND_HASH, 2, 3);
        form[63] = database(OP_MONGO_AGGREGATE, 3, 4);
        form[64] = database(OP_MONGO_CREATE_COLLECTION, 2, 2);
        form[65] = database(OP_MONGO_EXISTS_COLLECTION, 2, 2);
        form[66] = database(OP_MONGOC_READ_COMMAND, 2, 3);
        form[67] = database(OP_MONGOC_WRITE_COMMAND, 2, 3);
    }
};

constexpr CallFormTable CALL_FORMS;

[[noreturn]] void refuse(ErrorForm<const char*> error, const char* statement) {
    raise_syntax(error, excerpt(statement, 120));
}

char* parse_call_form(int keyword, char* text, ValueHandle& out, const char* statement, uint32_t position) {
    const CallForm& form = CALL_FORMS.form[keyword];
    char* open = skip_space(text);
    if (*open != '(') refuse(form.paren_error, statement);
    char* close = find_matching_closer(open + 1, ')', '(');
    if (!close) refuse(form.paren_error, statement);
    ValueHandle arguments[256];
    int count = 0;
    {
        TextCut cut(close);
        char* rest = skip_space(parse_expression_list(open + 1, arguments, form.list_max, count, false));
        if (*rest) refuse(form.count_error, statement);
    }
    if (count < form.min || count > form.max) refuse(form.count_error, statement);
    out = build_operation(form.opcode, arguments, size_t(count), position);
    return close + 1;
}

template <int KEYWORD>
char* call_form_at(char* text, ValueHandle& out, const char* statement, uint32_t position) {
    return parse_call_form(KEYWORD, text, out, statement, position);
}

template <size_t... K>
constexpr auto make_routines(std::index_sequence<K...>) {
    return std::array<KeywordRoutine, sizeof...(K)>{
        (CALL_FORMS.form[K].opcode ? &call_form_at<int(K)> : nullptr)...};
}

}  // namespace

KeywordRoutine call_form_routine(int code) {
    static constexpr auto ROUTINES = make_routines(std::make_index_sequence<KEYWORD_COUNT>());
    return code >= 0 && code < KEYWORD_COUNT ? ROUTINES[size_t(code)] : nullptr;
}

char* parse_reserved(char*, ValueHandle&, const char* statement, uint32_t) {
    raise_syntax(Error::BAD_STATEMENT_1211, excerpt(statement, 120));
}

}  // namespace tolv

#include "lang/keywords.h"

#include <cstring>

#include "lang/call_forms.h"
#include "lang/lexer.h"
#include "lang/literal_parser.h"
#include "lang/statement_parser.h"
#include "runtime/opcodes.h"

namespace tolv {

namespace {

struct DirectKeyword {
    char letter;
    const char* word;
    int code;
};

constexpr DirectKeyword DIRECT_KEYWORDS[] = {
    {'a', "alertToFront", KW_ALERT_TO_FRONT}, {'b', "break", KW_BREAK}, {'i', "if", KW_IF},
    {'l', "let", KW_LET}, {'o', "openDb", KW_OPEN_DB}, {'v', "var", KW_VAR}, {'w', "while", KW_WHILE},
};

// Entries padded with blanks to the list's width, the last one included.
struct KeywordList {
    char letter;
    int width;
    int longest;
    int base;
    const char* entries;
};

constexpr KeywordList KEYWORD_LISTS[] = {
    {'c', 10, 8, 17,
        "closeDb   "
        "const     "
        "continue  "},
    {'d', 20, 18, 20,
        "do                  "
        "decodeURI           "
        "decodeURIComponent  "},
    {'e', 20, 18, 23,
        "eval                "
        "execute             "
        "encodeURI           "
        "encodeURIComponent  "},
    {'f', 10, 8, 27,
        "for       "
        "function  "},
    {'m', 24, 23, 43,
        "mongo_find              "
        "mongo_count             "
        "mongo_insert            "
        "mongo_update_one        "
        "mongo_update_many       "
        "mongo_delete_one        "
        "mongo_delete_many       "
        "mongo_drop_collection   "
        "mongo_transaction       "
        "mongo_rename_collection "
        "mongo_get_collection    "
        "mongo_collection_name   "
        "mongo_use_db            "
        "mongo_current_db        "
        "mongo_drop_db           "
        "mongo_collection_names  "
        "mongo_get_database      "
        "mongo_rollback          "
        "mongo_commit            "
        "mongo_find_hash         "
        "mongo_aggregate         "
        "mongo_create_collection "
        "mongo_exists_collection "
        "mongoc_read_command     "
        "mongoc_write_command    "},
    {'p', 12, 10, 40,
        "parseInt    "
        "parseFloat  "},
    {'r', 18, 15, 3,
        "return            "
        "record_map        "
        "record_hash       "
        "redis_command     "
        "redis_aggregate   "
        "redis_keys        "
        "redis_get         "
        "redis_execute     "
        "redis_delete      "
        "redis_lremove     "
        "redis_linsert     "},
    {'s', 18, 17, 29,
        "select            "
        "selectHash        "
        "selectInto        "
        "selectToFront     "
        "selectHashToFront "
        "sendToFront       "
        "switch            "
        "selectExists      "
        "sql_aggregate     "},
    {'t', 8, 5, 38,
        "throw   "
        "try     "},
};

int search_list(const KeywordList& list, const char* p, const char** after) {
    int n = 0;
    while (n < list.width && (is_letter(p[n]) || p[n] == '_')) ++n;
    if (n == 0 || n > list.longest || is_digit(p[n])) return KW_NONE;
    const size_t total = std::strlen(list.entries);
    for (size_t offset = 0; offset + size_t(list.width) <= total; offset += size_t(list.width)) {
        if (std::memcmp(list.entries + offset, p, size_t(n)) == 0 && list.entries[offset + size_t(n)] == ' ') {
            *after = p + n;
            return list.base + int(offset / size_t(list.width));
        }
    }
    return KW_NONE;
}

struct RoutineTable {
    KeywordRoutine routine[KEYWORD_COUNT] = {};
    bool statement[KEYWORD_COUNT] = {};
    RoutineTable() {
        auto set = [this](int code, KeywordRoutine r, bool is_statement) {
            routine[code] = r;
            statement[code] = is_statement;
        };
        for (int code = 6; code <= 13; ++code) set(code, parse_reserved, false);
        for (int code = 29; code <= 33; ++code) set(code, parse_reserved, false);
        set(24, parse_reserved, false);
        set(36, parse_reserved, false);
        set(37, parse_reserved, false);
        set(KW_BREAK, parse_break, true);
        set(KW_CONTINUE, parse_continue, true);
        set(KW_RETURN, parse_return, true);
        set(KW_THROW, parse_throw, true);
        set(KW_IF, parse_if, true);
        set(KW_WHILE, parse_while, true);
        set(KW_DO, parse_do, true);
        set(KW_FOR, parse_for, true);
        set(KW_SWITCH, parse_switch, true);
        set(KW_TRY, parse_try, true);
        set(KW_LET, parse_let, true);
        set(KW_VAR, parse_var, true);
        set(KW_CONST, parse_const, true);
        set(KW_FUNCTION, parse_function, true);
        for (int code = 0; code < KEYWORD_COUNT; ++code) {
            if (!routine[code]) set(code, call_form_routine(code), false);
        }
    }
};

const RoutineTable ROUTINES;

}  // namespace

int recognise_keyword(const char* p, const char** after) {
    const char letter = *p;
    for (const DirectKeyword& k : DIRECT_KEYWORDS) {
        if (k.letter == letter) {
            if (!at_word(p, k.word)) return KW_NONE;
            *after = p + std::strlen(k.word);
            return k.code;
        }
    }
    for (const KeywordList& list : KEYWORD_LISTS) {
        if (list.letter == letter) return search_list(list, p, after);
    }
    return KW_NONE;
}

KeywordRoutine keyword_routine(int code) { return ROUTINES.routine[code]; }

bool keyword_is_statement(int code) { return ROUTINES.statement[code]; }

}  // namespace tolv

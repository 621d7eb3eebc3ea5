#include "debugger/expression.h"

#include "debugger/wire_text.h"
#include "eval/calls.h"
#include "eval/control.h"
#include "eval/debugger_slots.h"
#include "eval/evaluate.h"
#include "eval/scopes.h"
#include "lang/parser.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace tolv {

bool g_debugger_evaluating = false;

namespace {

// Everything an evaluation or a parse may touch that the script relies on.
class QuietEvaluation {
public:
    QuietEvaluation()
        : context_((settle_error_position(), g_error_context)),
          location_(g_location),
          create_mode_(g_create_mode),
          scope_(g_scope),
          binding_top_(g_bindings.top),
          arguments_(g_arguments.top),
          tags_(g_tags.count),
          completion_(g_completion),
          completion_value_(g_completion_value),
          expression_mode_(g_expression_mode),
          watching_(g_debugger_watching),
          evaluating_(g_debugger_evaluating) {
        g_debugger_watching = false;
        g_debugger_evaluating = true;
        g_completion = COMPLETION_NORMAL;
        g_completion_value = VALUE_UNDEFINED;
    }
    ~QuietEvaluation() {
        settle_error_position();
        g_error_context = context_;
        g_location = location_;
        g_create_mode = create_mode_;
        g_scope = scope_;
        // Never popped: bindings above an outer frame's top belong to live calls.
        g_bindings.top = binding_top_;
        // The evaluation may have written over bindings above its frame.
        relink_bindings();
        g_arguments.top = arguments_;
        cut_tags(tags_);
        g_completion = completion_;
        g_completion_value = completion_value_;
        g_expression_mode = expression_mode_;
        g_debugger_watching = watching_;
        g_debugger_evaluating = evaluating_;
    }
    QuietEvaluation(const QuietEvaluation&) = delete;
    QuietEvaluation& operator=(const QuietEvaluation&) = delete;

private:
    ErrorContext context_;
    LastLocation location_;
    bool create_mode_;
    ScopeState scope_;
    uint32_t binding_top_;
    uint32_t arguments_;
    uint32_t tags_;
    Completion completion_;
    ValueHandle completion_value_;
    bool expression_mode_;
    bool watching_;
    bool evaluating_;
};

std::string thrown_text(const ScriptThrow& thrown) {
    const char* kind = thrown.to_request_handler ? "PARSE" : "EVAL";
    ValueHandle v = thrown.value;
    std::string out = joined({"#", kind, " ERROR"});
    if (is_kind(v, KIND_ERROR)) {
        const uint8_t* record = value_ptr(v);
        out += joined({": CODE=", std::string_view(error_code_text(record), error_code_length(record)), ", MESSAGE='",
                      std::string_view(error_message(record), error_message_length(record)), "'"});
    } else if (is_string(v)) {
        out += joined({": MESSAGE='", std::string_view(string_text(v), string_length(v)), "'"});
    }
    dispose(v);
    return out;
}

// Evaluates the statements in order; the last value stays for `last`.
template <typename Last>
void run_statements(const std::vector<ValueHandle>& statements, Last last) {
    for (size_t i = 0; i < statements.size(); ++i) {
        ValueHandle v = evaluate(statements[i]);
        if (i + 1 == statements.size()) {
            retain(v);
            last(v);
            release(v);
        } else {
            dispose(v);
        }
    }
}

}  // namespace

bool compile_debugger_statements(uint32_t module, uint32_t line, std::string_view text, std::vector<ValueHandle>& out) {
    QuietEvaluation quiet;
    g_error_context.module = module;
    g_error_context.line = line;
    g_error_context.operation = nullptr;
    try {
        parse_statements(text.data(), text.size(), out);
        return true;
    } catch (const ScriptThrow& thrown) {
        dispose(thrown.value);
        release_debugger_statements(out);
        return false;
    }
}

void release_debugger_statements(std::vector<ValueHandle>& statements) {
    for (ValueHandle s : statements) release(s);
    statements.clear();
}

std::string evaluate_for_reply(const EvaluationScope& scope, std::string_view expression) {
    std::vector<ValueHandle> statements;
    std::string reply;
    {
        QuietEvaluation quiet;
        g_error_context.module = scope.module;
        g_error_context.line = scope.line;
        g_error_context.operation = nullptr;
        g_scope.frame_base = scope.frame_base;
        g_scope.block_base = scope.top;
        g_bindings.top = scope.top;
        g_expression_mode = true;
        try {
            parse_statements(expression.data(), expression.size(), statements);
            TextBuffer text;
            run_statements(statements, [&](ValueHandle v) { text_of(v, text); });
            reply = joined({"=", std::string_view(text.data(), text.size())});
        } catch (const ScriptThrow& thrown) {
            reply = thrown_text(thrown);
        }
    }
    release_debugger_statements(statements);
    return reply;
}

bool evaluate_condition(const std::vector<ValueHandle>& statements, std::string& error) {
    QuietEvaluation quiet;
    g_expression_mode = true;
    bool truth = false;
    try {
        run_statements(statements, [&](ValueHandle v) { truth = truth_value(v); });
    } catch (const ScriptThrow& thrown) {
        error = thrown_text(thrown);
        if (error.compare(0, 6, "#PARSE") == 0) error.replace(1, 5, "EVAL");
        truth = false;
    }
    return truth;
}

void debugger_display(ValueHandle v, std::string& out) {
    unsigned kind = kind_of(v);
    if (!is_sentinel(v) && kind == KIND_FUNCTION) {
        out += "function";
        return;
    }
    QuietEvaluation quiet;
    try {
        TextBuffer text;
        display_of(v, true, text);
        out.append(text.data(), text.size());
    } catch (const ScriptThrow& thrown) {
        dispose(thrown.value);
        out += "?";
    }
}

}  // namespace tolv

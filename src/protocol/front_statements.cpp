#include "protocol/front_statements.h"

#include "eval/evaluate.h"
#include "eval/library_hooks.h"
#include "protocol/front_output.h"
#include "runtime/errors.h"
#include "runtime/name_table.h"

namespace tolv {

namespace {

// sendToFront(name, value), sendToFront("name") (the variable of that name)
// or sendToFront(identifier).
ValueHandle send_to_front_operation(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    uint32_t count = operand_count(op);
    if (count == 2) {
        ValueHandle name = evaluate(operand(op, 0));
        if (kind_of(name) != KIND_STRING || is_sentinel(name)) {
            dispose(name);
            raise(Error::BAD_OBJECT_NAME_1325);
        }
        retain(name);
        ValueHandle value = evaluate(operand(op, 1));
        try {
            send_to_front(string_text(name), string_length(name), value);
        } catch (...) {
            dispose(value);
            release(name);
            throw;
        }
        dispose(value);
        release(name);
        return VALUE_UNDEFINED;
    }
    ValueHandle only = operand(op, 0);
    uint32_t name_index;
    if (is_string(only) && cell_as<StringCell>(only)->template_mark >= 0) {
        if (string_length(only) == 0 || string_length(only) > 255) raise(Error::BAD_OBJECT_NAME_1320);
        name_index = intern_name(string_text(only), string_length(only));
    } else if (is_plain_name(only)) {
        name_index = payload_of(only);
    } else {
        raise(Error::BAD_OBJECT_NAME_1320);
    }
    ValueHandle value = evaluate(name_handle(name_index));
    try {
        send_to_front(name_text(name_index), name_length(name_index), value);
    } catch (...) {
        dispose(value);
        throw;
    }
    dispose(value);
    return VALUE_UNDEFINED;
}

ValueHandle alert_to_front_operation(ValueHandle cell) {
    ValueHandle value = evaluate(operand(operation_cell(cell), 0));
    try {
        alert_to_front(value);
    } catch (...) {
        dispose(value);
        throw;
    }
    dispose(value);
    return VALUE_UNDEFINED;
}

}  // namespace

void install_front_statements() {
    g_keyword_hooks[OP_SEND_TO_FRONT - OP_FIRST] = send_to_front_operation;
    g_keyword_hooks[OP_ALERT_TO_FRONT - OP_FIRST] = alert_to_front_operation;
}

}  // namespace tolv

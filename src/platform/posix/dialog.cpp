// POSIX dialogs: the form is shown on the console of the window's thread.
// Every line printed starts with "config: ", so it never reads like the
// player's own "ok"/"error" answers. Input lines arrive through the emulated
// window, which keeps answering other threads' messages while the form waits.
#include "platform/dialog.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "platform/posix/emulated_window.h"

namespace platform {

namespace {

// Writes one line of the form, flushed at once so scripts see it.
void say(const std::string& text) {
    std::string line = "config: " + text + "\n";
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

int run_form(const DialogForm& form, Window owner, DialogLogic& logic);

// The controls of a console form: texts and check states held in memory.
class ConsoleControls : public DialogControls {
  public:
    ConsoleControls(const DialogForm& form, Window owner) : form_(form), owner_(owner) {}

    void set_text(int id, const char* text) override { texts_[id] = text ? text : ""; }

    std::size_t get_text(int id, char* buffer, std::size_t size) override {
        if (size == 0)
            return 0;
        const std::string& text = texts_[id];
        std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
        return n;
    }

    void set_checked(int id, bool checked) override { checks_[id] = checked; }
    bool is_checked(int id) override { return checks_[id]; }

    void message_box(const char* text, const char* caption) override {
        std::string body = text ? text : "";
        std::size_t start = 0;
        for (;;) {
            std::size_t end = body.find('\n', start);
            say(std::string("[") + caption + "] " + body.substr(start, end - start));
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }

    void close(int result) override {
        closed_ = true;
        result_ = result;
    }

    // A form has the controls of its list.
    bool has_control(int id) override {
        for (std::size_t i = 0; i < form_.control_count; ++i) {
            if (form_.controls[i].id == id)
                return true;
        }
        return false;
    }

    // The other form takes the console until it closes; then this one goes on.
    int show_child(const DialogForm& form, DialogLogic& logic) override {
        return run_form(form, owner_, logic);
    }

    const std::string& text(int id) { return texts_[id]; }
    bool closed() const { return closed_; }
    int result() const { return result_; }

  private:
    const DialogForm& form_;
    Window owner_;
    std::map<int, std::string> texts_;
    std::map<int, bool> checks_;
    bool closed_ = false;
    int result_ = 0;
};

// Returns the line that shows one field with its current value.
std::string field_line(ConsoleControls& controls, const FormControl& c) {
    std::string id = std::to_string(c.id);
    if (c.kind == ControlKind::check_box)
        return id + " " + c.label + " = " + (controls.is_checked(c.id) ? "on" : "off");
    return id + " " + c.label + " = " + controls.text(c.id);
}

// Prints the whole form: title, fields with values, commands and usage.
void print_form(ConsoleControls& controls, const DialogForm& form) {
    say(form.title);
    std::string commands;
    for (std::size_t i = 0; i < form.control_count; ++i) {
        const FormControl& c = form.controls[i];
        if (c.kind != ControlKind::command) {
            say(field_line(controls, c));
            continue;
        }
        if (!commands.empty())
            commands += ", ";
        commands += std::to_string(c.id);
        if (c.word)
            commands += std::string(" or ") + c.word;
        commands += std::string(" (") + c.label + ")";
    }
    say("commands: " + commands);
    say("change a field with \"ID VALUE\" (a check box takes on or off; ID \"\" empties a text); "
        "\"show\" lists the form again");
}

// Finds a control by id or console word; nullptr when there is none.
const FormControl* find_control(const DialogForm& form, const std::string& name) {
    for (std::size_t i = 0; i < form.control_count; ++i) {
        const FormControl& c = form.controls[i];
        if (std::to_string(c.id) == name || (c.word && name == c.word))
            return &c;
    }
    return nullptr;
}

// Returns the known ids, for the answer to an unknown one.
std::string known_ids(const DialogForm& form) {
    std::string ids;
    for (std::size_t i = 0; i < form.control_count; ++i) {
        if (!ids.empty())
            ids += " ";
        ids += std::to_string(form.controls[i].id);
    }
    return ids;
}

// Returns whether c separates the words of a console line.
bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// Returns text in lower case (ASCII letters only).
std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Applies a value or runs a command on one control of the form; answers bad
// input (a missing or wrong value) without changing anything.
void apply(const FormControl& c, bool has_value, const std::string& value,
           ConsoleControls& controls, DialogLogic& logic) {
    const std::string id = std::to_string(c.id);
    switch (c.kind) {
        case ControlKind::command:
            if (has_value) {
                say("command " + id + " takes no value; nothing done");
                return;
            }
            logic.on_command(controls, c.id);
            return;
        case ControlKind::check_box: {
            const std::string v = lower(value);
            if (!has_value) {
                say("missing value for " + id + "; write " + id + " on or " + id + " off");
            } else if (v == "on" || v == "off") {
                controls.set_checked(c.id, v == "on");
                say(field_line(controls, c));
            } else {
                say("check box " + id + " takes on or off, not \"" + value + "\"");
            }
            return;
        }
        case ControlKind::text:
            if (!has_value) {
                say("missing value for " + id + "; write " + id + " VALUE, or " + id +
                    " \"\" to empty it");
                return;
            }
            controls.set_text(c.id, value == "\"\"" ? "" : value.c_str());
            say(field_line(controls, c));
            return;
    }
}

// Carries out one console line on the form: a field change, a command or a
// request to show the form again. Bad input is answered and changes nothing.
void handle_line(std::string line, ConsoleControls& controls, const DialogForm& form,
                 DialogLogic& logic) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    std::size_t start = 0;
    while (start < line.size() && is_blank(line[start]))
        ++start;
    if (start == line.size())
        return;
    std::size_t name_end = start;
    while (name_end < line.size() && !is_blank(line[name_end]))
        ++name_end;
    const std::string name = lower(line.substr(start, name_end - start));
    std::size_t value_start = name_end;
    while (value_start < line.size() && is_blank(line[value_start]))
        ++value_start;
    // The value is kept as typed, inner and trailing blanks included.
    const bool has_value = value_start < line.size();
    const std::string value = line.substr(value_start);

    if (name == "show" || name == "?" || name == "help") {
        print_form(controls, form);
        return;
    }
    const FormControl* c = find_control(form, name);
    if (c != nullptr) {
        apply(*c, has_value, value, controls, logic);
    } else if (name.find_first_not_of("0123456789") == std::string::npos) {
        say("unknown id " + name + "; the ids are " + known_ids(form));
    } else {
        say("not understood: \"" + line.substr(start, name_end - start) +
            "\"; write ID VALUE, ok, cancel, about or show");
    }
}

// Shows the form and reads console lines into it until it closes; returns
// its result.
int run_form(const DialogForm& form, Window owner, DialogLogic& logic) {
    ConsoleControls controls(form, owner);
    logic.on_open(controls);
    if (controls.closed())
        return controls.result();
    print_form(controls, form);
    while (!controls.closed()) {
        std::string line;
        if (emu::wait_for_line(owner, line, -1) != emu::WaitResult::line) {
            // Nobody is left to answer the form: close it without taking anything.
            say("end of input; closed without changes");
            return 0;
        }
        handle_line(line, controls, form, logic);
    }
    say("closed");
    return controls.result();
}

}  // namespace

int show_dialog(void* /*module*/, const DialogForm& form, Window owner, DialogLogic& logic) {
    return run_form(form, owner, logic);
}

}  // namespace platform

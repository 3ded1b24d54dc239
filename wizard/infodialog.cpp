// The parts that the name/organisation and the reseller dialogs share.
#include "wizard/infodialog.h"

#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/MessageB.h>
#include <Xm/TextF.h>

#include <string>
#include <vector>

#include "wizard/dialog.h"
#include "wizard/glue.h"
#include "wizard/infofile.h"

namespace qv {

namespace {

constexpr const char kCheckValues[] = ":::t\"Confirm that the information you entered is correct. If it is,\""
                                      ":t\"click OK. To change any of the information, click Change.\"";

std::string field_text(Widget field)
{
    char *text = XmTextFieldGetString(field);
    std::string out = text ? text : "";
    XtFree(text);
    return out;
}

// Lays the rows out in form below `above` (the top of the form when null):
// captions right-aligned in one column, values beside them, 30-column text
// fields when `textFields`, else labels.
void info_rows(Widget form, Widget above, std::initializer_list<InfoRow> rows, bool textFields)
{
    std::vector<Widget> captions;
    Widget last = above;
    auto below_last = [&last](Args &args) {
        if (last)
            args.attach(Args::Top, last, 10);
        else
            args.attach(Args::Top, 10);
    };
    for (const InfoRow &row : rows) {
        qv::Args captionArgs(form);
        captionArgs.text(XmNlabelString, row.caption);
        captionArgs.set(XmNalignment, XmALIGNMENT_END);
        captionArgs.attach(Args::Left, 10);
        if (!textFields)
            below_last(captionArgs);
        Widget caption = create_managed(row.captionName, xmLabelWidgetClass, form, captionArgs);
        captions.push_back(caption);

        qv::Args valueArgs(form);
        valueArgs.attach(Args::Left, caption, 10);
        if (textFields) {
            below_last(valueArgs);
            valueArgs.set(XmNcolumns, 30);
            *row.value = create_managed(row.valueName, xmTextFieldWidgetClass, form, valueArgs);
            // The caption spans the height of its field, so both read on one line.
            XtVaSetValues(caption, XmNtopAttachment, XmATTACH_OPPOSITE_WIDGET, XmNtopWidget, *row.value,
                          XmNbottomAttachment, XmATTACH_OPPOSITE_WIDGET, XmNbottomWidget, *row.value, nullptr);
            last = *row.value;
        } else {
            // The caption sets the row's height: an empty value has none.
            valueArgs.set(XmNtopAttachment, XmATTACH_OPPOSITE_WIDGET);
            valueArgs.set(XmNtopWidget, reinterpret_cast<XtArgVal>(caption));
            valueArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
            valueArgs.text(XmNlabelString, "");
            valueArgs.attach(Args::Right, 10);
            *row.value = create_managed(row.valueName, xmLabelWidgetClass, form, valueArgs);
            last = caption;
        }
    }
    captions.resize(3, nullptr); // the dialogs have two or three rows
    QV_makeAllWidgetSameMaxWidth(captions[0], captions[1], captions[2], nullptr);
}

// The work area of box: form `formName` with label `labelName` showing
// text at its top. Returns the label.
Widget top_label(Widget box, const char *formName, const char *labelName, const char *text)
{
    Args formArgs(box);
    Widget form = create_managed(formName, xmFormWidgetClass, box, formArgs);
    Args labelArgs(form);
    labelArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    labelArgs.text(XmNlabelString, text);
    labelArgs.attach(Args::Top, 10).attach(Args::Left, 10).attach(Args::Right, 10);
    return create_managed(labelName, xmLabelWidgetClass, form, labelArgs);
}

} // namespace

Widget create_entry_box(Widget parent, const EntrySpec &opts, std::initializer_list<InfoRow> rows)
{
    Widget shell = create_dialog_shell(parent, opts.shellName, &opts.where, opts.title);
    BoxSpec box(opts.boxName);
    box.noResize = True;
    box.cancelLabel = "Exit Setup";
    box.mapCB = opts.mapCB;
    box.okCB = opts.okCB;
    box.cancelCB = opts.exitCB;
    Widget mb = create_message_box(shell, box);
    // Set once the box is in the shell: a message box sets its shell's
    // mwmInputMode from its own dialogStyle when it is created.
    XtVaSetValues(shell, XmNmwmInputMode, kMwmFullApplicationModal, nullptr);

    Widget label = top_label(mb, opts.formName, opts.labelName, opts.text);
    info_rows(XtParent(label), label, rows, true);
    return mb;
}

Widget create_confirm_box(Widget parent, const ConfirmSpec &opts, std::initializer_list<InfoRow> rows)
{
    Widget shell = create_dialog_shell(parent, opts.shellName, nullptr);
    BoxSpec box(opts.boxName);
    box.noResize = True;
    box.dialogStyle = XmDIALOG_FULL_APPLICATION_MODAL;
    box.cancelLabel = "Change";
    box.mapCB = opts.mapCB;
    box.okCB = opts.okCB;
    box.cancelCB = opts.changeCB;
    Widget mb = create_message_box(shell, box);

    Widget label = top_label(mb, "form", opts.labelName, kCheckValues);
    Widget form = XtParent(label);
    Args frameArgs(form);
    frameArgs.attach(Args::Top, label, 10).attach(Args::Bottom, 10);
    frameArgs.attach(Args::Left, 10).attach(Args::Right, 10);
    Widget frame = create_managed("frame", xmFrameWidgetClass, form, frameArgs);
    Args valuesArgs(frame);
    Widget values = create_managed("form1", xmFormWidgetClass, frame, valuesArgs);
    info_rows(values, nullptr, rows, false);
    return mb;
}

void show_confirmation(Widget w, Widget (*create)(Widget parent), std::initializer_list<Widget> fields,
                       std::initializer_list<Widget *> labels)
{
    Widget box = create(QV_instGetShell(w));
    unmanage_box_children(box, {XmDIALOG_HELP_BUTTON});
    auto label = labels.begin();
    for (Widget field : fields) {
        // Shown the way every label text is set: a value that begins with
        // "::" is read as compound-string syntax; the file gets it as typed.
        QV_instUpdateLabelString(**label, field_text(field).c_str());
        ++label;
    }
    XtManageChild(box);
}

void load_info_fields(const char *file, std::initializer_list<Widget> fields)
{
    const auto values = read_info_file(file, fields.size());
    if (!values)
        return;
    auto value = values->begin();
    for (Widget field : fields)
        XmTextFieldSetString(field, const_cast<char *>((value++)->c_str()));
}

void store_info_fields(const char *file, std::initializer_list<Widget> fields)
{
    std::vector<std::string> values;
    for (Widget field : fields)
        values.push_back(field_text(field));
    write_info_file(file, values);
}

void confirm_exit_from(Widget w)
{
    QV_exitSetupConfirmation(QV_instGetShell(w), "Setup has not yet modified any files", "");
}

} // namespace qv

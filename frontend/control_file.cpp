#include "control_file.h"

#include "open_control.h"

const model_type* find_model_type(long method)
{
    for (const model_type& m : kModelTypes)
        if (m.method == method)
            return &m;
    return nullptr;
}

QStringList control_records(const control_file& f)
{
    QString letters;
    for (QChar c : {f.kernel, f.calibration, f.sample})
        if (!c.isNull())
            letters += c;
    QStringList r;
    r << f.data_file << f.location_file << f.result_file;
    r << QString::number(f.dependent) << QString("%1,%2,%3").arg(f.x).arg(f.y).arg(f.weight);
    r << f.title << f.flags << letters << f.bandwidth;
    for (long code : {f.history, f.predictions, long(f.format), long(f.test), f.diagnostics, f.method})
        r << QString::number(code);
    if (f.coordinates)
        r << QString::number(long(*f.coordinates));
    r << f.keywords;
    return r;
}

void control_read::need(int record) const
{
    if (record > complete)
        throw control_read_error(fault);
}

control_read parse_control_file(const QString& text)
{
    control_read out;
    control_file& f = out.file;
    ControlRecords in(text);
    // Each step reads one record; the count tells how far the file was read.
    auto step = [&](auto read) {
        read();
        ++out.complete;
    };
    try {
        step([&] { f.data_file = in.text(); });
        step([&] { f.location_file = in.text(); });
        step([&] { f.result_file = in.text(); });
        step([&] { f.dependent = in.whole(); });
        step([&] { in.three(f.x, f.y, f.weight); });
        step([&] { f.title = in.text(); });
        step([&] { f.flags = in.text(); });
        step([&] {
            const QString letters = in.text();
            QChar* column[] = {&f.kernel, &f.calibration, &f.sample};
            for (int i = 0; i < 3 && i < letters.size(); ++i)
                *column[i] = letters[i];
        });
        step([&] {
            // A number, or the lone minus sign of an empty sample percentage.
            f.bandwidth = in.item();
            if (f.bandwidth != QLatin1String("-"))
                item_value(f.bandwidth);
        });
        step([&] { f.history = in.whole(); });
        step([&] { f.predictions = in.whole(); });
        step([&] { f.format = result_format(in.whole()); });
        step([&] { f.test = test_code(in.whole()); });
        step([&] { f.diagnostics = in.whole(); });
        step([&] { f.method = in.whole(); });
        step([&] {
            if (!in.atEnd())
                f.coordinates = coordinate_type(in.whole());
        });
        f.keywords = in.rest();
    } catch (const control_read_error& e) {
        out.fault = e.what();
    }
    return out;
}

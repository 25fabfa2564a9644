#include "answer_fields.h"

#include "codec/field_numbers.h"
#include "codec/frame_breakdown.h"
#include "codec/frame_format.h"
#include "codec/payload_catalogue.h"
#include "label_text.h"

namespace kelvo_monitor {

QString AnswerField::DecimalText() const {
  if (number) return QString::number(*number);
  if (text) return QString::fromLatin1(text->data(), static_cast<qsizetype>(text->size()));
  if (is_array) {
    QString joined;
    joined.reserve(static_cast<qsizetype>(numbers.size()) * 5);
    for (std::size_t i = 0; i < numbers.size(); ++i) {
      if (i) joined += QLatin1Char(' ');
      joined += QString::number(numbers[i]);
    }
    return joined;
  }
  return {};
}

int FrameCommand(std::string_view frame) {
  if (frame.size() < codec::kCommandAt + 2) return -1;
  const auto command = codec::ReadStrictHex(frame.substr(codec::kCommandAt, 2));
  return command ? static_cast<int>(*command) : -1;
}

std::vector<AnswerField> ReadAnswerFields(std::string_view frame) {
  std::vector<kelvo_profile::ProfileValue> values;
  return ReadAnswerFields(frame, nullptr, values);
}

std::vector<AnswerField> ReadAnswerFields(std::string_view frame, const kelvo_profile::Profile* profile,
                                          std::vector<kelvo_profile::ProfileValue>& values) {
  std::vector<AnswerField> fields;
  values.clear();
  if (!codec::FindFieldLayout(FrameCommand(frame))) return fields;
  try {
    const codec::FrameItems items = codec::BreakDownFrame(frame);
    for (const codec::FrameItem& item : items) {
      if (item.role != codec::ItemRole::PayloadField) continue;
      codec::ItemNumbers numbers = codec::ReadItemNumbers(item);
      AnswerField field;
      field.index = static_cast<int>(fields.size());
      field.label = LabelText(item.label);
      field.label_gbk = item.label;
      field.hex = QString::fromLatin1(item.value.data(), static_cast<qsizetype>(item.value.size()));
      field.is_array = numbers.is_array;
      field.number = numbers.number;
      field.numbers = std::move(numbers.numbers);
      field.text = std::move(numbers.text);
      fields.push_back(std::move(field));
    }
    if (profile)
      values =
          kelvo_profile::ApplyProfile(*profile, items).value_or(std::vector<kelvo_profile::ProfileValue>{});
  } catch (const codec::InvalidArgumentError&) {
    fields.clear();  // a count past the end: no fields to show
    values.clear();
  }
  return fields;
}

std::vector<QString> LayoutLabels(int command) {
  std::vector<QString> labels;
  if (const auto layout = codec::FindFieldLayout(command)) {
    for (const codec::FieldDescriptor& field : *layout) labels.push_back(LabelText(field.label));
  }
  return labels;
}

}  // namespace kelvo_monitor

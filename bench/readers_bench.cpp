// Reading a typical definition (about 2 KB: a multi-line body, four described variables,
// two variants, metadata) from each text format. Budget: 20 µs per read.
#include <benchmark/benchmark.h>

#include <string_view>

#include "quorlen/core/generated/prompt_definition/read.hpp"

namespace pd = quorlen::core::generated::prompt_definition;

namespace {

constexpr std::string_view kYaml = R"(name: support-answer
role: system
output_model: SupportAnswer
body: |
  You are the support assistant of {{ product }}. Answer the customer's question
  in {{ language | default("English") }}, in at most {{ max_sentences }} sentences.
  {% if history %}
  Earlier in this conversation:
  {% for turn in history %}
  - {{ turn.role }}: {{ turn.text }}
  {% endfor %}
  {% endif %}
  The customer asks:
  {{ question }}
  Be precise, cite the relevant help-centre article when there is one, and never
  promise refunds or delivery dates. If you are unsure, say so and offer to hand
  the conversation to a human colleague.
variables:
  product:
    type: string
    trusted: true
    description: Name of the product the customer uses, as shown in the app.
  language:
    type: [string, "null"]
    trusted: true
    description: Preferred answer language; English when absent.
  max_sentences:
    type: integer
    trusted: true
    validation_required: true
    description: Upper bound on the answer's length, in sentences.
  history:
    type: array
    trusted: false
    description: Earlier turns of the conversation, oldest first.
  question:
    type: string
    trusted: false
    validation_required: true
    description: The customer's message, verbatim and untrusted.
variants:
  short:
    body: |
      Answer the question about {{ product }} in one sentence: {{ question }}
    metadata: {purpose: previews}
  formal:
    body: |
      Dear customer, regarding {{ product }}: {{ question }}
      Please answer formally and in {{ language | default("English") }}.
      Keep to {{ max_sentences }} sentences and do not speculate.
metadata:
  owner: support-platform
  version: 7
  reviewed: true
  tags: [support, customer-facing, tier-1]
  guard: {enabled: true}
  evaluation: {dataset: support-golden-v3, min_score: 0.82}
)";

void read_yaml(benchmark::State& state) {
  for (auto _ : state) {
    auto definition = pd::read_yaml_text(kYaml);
    if (!definition) state.SkipWithError(definition.error().c_str());
    benchmark::DoNotOptimize(definition);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kYaml.size()));
}
BENCHMARK(read_yaml)->Name("read_yaml_text/2KB");

// The same definition in TOML.
constexpr std::string_view kToml = R"(name = "support-answer"
role = "system"
output_model = "SupportAnswer"
body = """
You are the support assistant of {{ product }}. Answer the customer's question
in {{ language | default("English") }}, in at most {{ max_sentences }} sentences.
{% if history %}
Earlier in this conversation:
{% for turn in history %}
- {{ turn.role }}: {{ turn.text }}
{% endfor %}
{% endif %}
The customer asks:
{{ question }}
Be precise, cite the relevant help-centre article when there is one, and never
promise refunds or delivery dates. If you are unsure, say so and offer to hand
the conversation to a human colleague.
"""

[variables.product]
type = "string"
trusted = true
description = "Name of the product the customer uses, as shown in the app."

[variables.language]
type = ["string", "null"]
trusted = true
description = "Preferred answer language; English when absent."

[variables.max_sentences]
type = "integer"
trusted = true
validation_required = true
description = "Upper bound on the answer's length, in sentences."

[variables.history]
type = "array"
trusted = false
description = "Earlier turns of the conversation, oldest first."

[variables.question]
type = "string"
trusted = false
validation_required = true
description = "The customer's message, verbatim and untrusted."

[variants.short]
body = """
Answer the question about {{ product }} in one sentence: {{ question }}
"""
metadata = { purpose = "previews" }

[variants.formal]
body = """
Dear customer, regarding {{ product }}: {{ question }}
Please answer formally and in {{ language | default("English") }}.
Keep to {{ max_sentences }} sentences and do not speculate.
"""

[metadata]
owner = "support-platform"
version = 7
reviewed = true
tags = ["support", "customer-facing", "tier-1"]
guard = { enabled = true }
evaluation = { dataset = "support-golden-v3", min_score = 0.82 }
)";

void read_toml(benchmark::State& state) {
  for (auto _ : state) {
    auto definition = pd::read_toml_text(kToml);
    if (!definition) state.SkipWithError(definition.error().c_str());
    benchmark::DoNotOptimize(definition);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kToml.size()));
}
BENCHMARK(read_toml)->Name("read_toml_text/2KB");

}  // namespace

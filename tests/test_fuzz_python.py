"""Hostile inputs through every Python entry point: each call returns a result or raises one of
the module's own errors, and a second identical call gives the same outcome.

QUORLEN_FUZZ_EXAMPLES raises the number of examples for longer runs (`make fuzz-smoke`)."""

import os

import pydantic
import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

import quorlen
from definitions import definition, var
from template_corpus import CONTEXT

EXAMPLES = int(os.environ.get("QUORLEN_FUZZ_EXAMPLES", "60"))
fuzz = settings(max_examples=EXAMPLES, deadline=None,
                suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])


class Any(pydantic.BaseModel):
    model_config = pydantic.ConfigDict(extra="allow")


# Pieces a template is made of, so generated bodies reach past the parser.
TOKENS = ["{{", "}}", "{%", "%}", "{#", "#}", " ", "x", "name", "items", "n", "m", "nested",
          "for", "in", "endfor", "if", "else", "endif", "set", "=", "namespace(", ")", "(",
          "[", "]", ",", ".", "|", "length", "upper", "join", "range(", "10**9", "*", "+", "~",
          "'s'", "1", "-1", "0", "loop", "recursive", "macro", "call", "include", "-", "\x00",
          "é", "\ud7ff", "\\", '"', "is", "defined", "not", "and", "or", "true", "none", "attr",
          "map", "select", "sort", "dictsort", "tojson", "format", "%s", "replace", "indent"]
bodies = st.lists(st.sampled_from(TOKENS), max_size=30).map("".join) | st.text(max_size=60)

scalars = (st.none() | st.booleans() | st.integers(min_value=-2**70, max_value=2**70)
           | st.floats() | st.text(max_size=20))
values = st.recursive(scalars, lambda inner: st.lists(inner, max_size=4)
                      | st.dictionaries(st.text(max_size=8), inner, max_size=4), max_leaves=20)
kinds = st.sampled_from(["string", "integer", "number", "boolean", "array", "object", "x", 1])
variable = st.fixed_dictionaries({"type": kinds}, optional={"trusted": st.booleans() | values})
shapes = st.fixed_dictionaries(
    {}, optional={"name": st.sampled_from(["g", "", "a b", "x" * 300]) | values,
                  "role": st.sampled_from(["user", "system", "assistant", "robot"]) | values,
                  "body": bodies | values,
                  "variables": st.dictionaries(st.sampled_from(["name", "n", "items", "x"]),
                                               variable | values, max_size=3) | values,
                  "variants": st.dictionaries(st.text(max_size=5),
                                              st.fixed_dictionaries({"body": bodies}) | values,
                                              max_size=2),
                  "metadata": values,
                  "output_model": values}) | values


def outcome(call):
    try:
        r = call()
    except quorlen.QuorlenError as e:
        return type(e).__name__, str(e), [(x.field, x.code, x.message) for x in e.errors]
    except TypeError as e:  # a value of the wrong Python type, named as such
        return "TypeError", str(e)
    return "ok", r


def same_twice(call):
    first = outcome(call)
    assert outcome(call) == first
    return first


@given(shape=shapes)
@fuzz
def test_prompt_from_hostile_dicts(shape):
    kind, *_ = same_twice(lambda: repr(quorlen.Prompt(shape)))
    assert kind in ("ok", "LoadError", "PromptLoadError", "PromptRenderError", "TypeError")


@pytest.mark.parametrize("reader", ["from_json", "from_yaml", "from_toml"])
@given(text=st.text(max_size=200) | st.binary(max_size=200).map(
    lambda b: b.decode("utf-8", "replace")), data=st.data())
@fuzz
def test_readers_with_hostile_text(reader, text, data):
    valid = {"from_json": '{"name":"g","role":"user","body":"Hi"}',
             "from_yaml": "name: g\nrole: user\nbody: Hi\n",
             "from_toml": 'name = "g"\nrole = "user"\nbody = "Hi"\n'}[reader]
    cut = data.draw(st.integers(0, len(valid)))
    for candidate in (text, valid[:cut] + text + valid[cut:]):
        kind, *_ = same_twice(lambda: repr(getattr(quorlen.Prompt, reader)(candidate)))
        assert kind in ("ok", "LoadError", "PromptLoadError", "PromptRenderError")


@given(body=bodies, data=st.dictionaries(st.sampled_from(sorted(CONTEXT)), values, max_size=4),
       guard=st.booleans(), reveal=st.booleans())
@fuzz
def test_render_hostile_templates_and_values(body, data, guard, reveal):
    variables = {k: var("string" if isinstance(v, str) else "object", trusted=not guard)
                 for k, v in data.items()}
    built = outcome(lambda: quorlen.Prompt(definition(body, variables=variables)))
    if built[0] != "ok":
        assert built[0] in ("PromptRenderError", "PromptLoadError", "LoadError"), built
        return
    p = built[1]
    g = quorlen.GuardConfig(enabled=guard)
    kind, *_ = same_twice(lambda: p.render(Any, data=data, guard=g,
                                           unsafe_reveal_render_detail=reveal).text)
    assert kind in ("ok", "PromptRenderError", "PromptValidationError", "LoadError")
    same_twice(lambda: [f.kind for f in p.check().findings])


BASE = quorlen.Prompt(definition("Hi {{ name }}", variables={"name": var()},
                                 variants={"v": {"body": "{{ name|upper }}"}},
                                 metadata={"owner": {"team": "a"}}))
OTHER = quorlen.Prompt(definition("{{ x }}", role="system", variables={"x": var("object")}))
strategies = st.sampled_from([None, quorlen.MergeStrategy.MERGE, quorlen.MergeStrategy.REPLACE])


@given(overlay=shapes, strategy=strategies)
@fuzz
def test_derive_with_hostile_overlays(overlay, strategy):
    def content(p):
        return p.name, p.role, p.body, p.variables, p.variants, p.output_model, p.metadata
    kind, *_ = same_twice(lambda: content(BASE.derive(overlay, strategy=strategy)))
    assert kind in ("ok", "LoadError", "PromptLoadError", "PromptRenderError", "TypeError")
    if kind == "ok":
        derived = BASE.derive(overlay, strategy=strategy)
        # A derived prompt is a whole prompt: it reports, renders or fails cleanly.
        same_twice(lambda: (repr(derived), [f.kind for f in derived.check().findings]))
        same_twice(lambda: derived.render(Any, data={"name": "n"}).text)


@given(entries=st.lists(st.tuples(st.sampled_from([BASE, OTHER]),
                                  st.dictionaries(st.sampled_from(["name", "x", "y"]), values,
                                                  max_size=3),
                                  st.sampled_from([None, "v", "missing"])), max_size=4))
@fuzz
def test_composition_of_hostile_entries(entries):
    def build():
        c = quorlen.Composition.from_messages(
            [(p, Any(**vars_), variant) for p, vars_, variant in entries])
        return [(m.role, m.text) for m in c.resolve()]
    kind, *_ = same_twice(build)
    assert kind in ("ok", "PromptRenderError", "PromptValidationError", "LoadError")

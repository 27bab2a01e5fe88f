"""Composition and Message: validated entries, whole-or-nothing building, ordered resolve."""

import collections
import gc
import inspect
import weakref
from typing import ClassVar

import pydantic
import pytest

import quorlen
from definitions import definition, var


class Persona(pydantic.BaseModel):
    persona: str


class Question(pydantic.BaseModel):
    question: str


class Shouted(pydantic.BaseModel):
    question: str

    @pydantic.field_validator("question")
    @classmethod
    def shout(cls, v):
        return v.upper()


class Brief(pydantic.BaseModel):
    question: str = pydantic.Field(max_length=3)


def rejected():
    """An instance that its class rejects when it re-validates the dump."""
    return Brief.model_construct(question="too long")


class Huge(pydantic.BaseModel):
    question: str
    big: int


SYSTEM = quorlen.Prompt(definition("You are {{ persona }}.", name="system_intro", role="system",
                                   variables={"persona": var()}))
ASK = quorlen.Prompt(definition("Q: {{ question }}", name="ask",
                                variables={"question": var(trusted=False)},
                                variants={"short": {"body": "{{ question }}"}}))


def rows(exc):
    return [(r.field, r.code, r.message) for r in exc.errors]


def messages(composition):
    return [(m.role, m.text) for m in composition.resolve()]


def test_empty_composition():
    c = quorlen.Composition()
    assert len(c) == 0
    assert repr(c) == "Composition(entries=0, names=[])"
    assert c.resolve() == []


def test_resolves_in_append_order_with_each_prompts_role():
    c = quorlen.Composition()
    assert c.append(SYSTEM, Persona(persona="a pirate")) is None
    c.append(ASK, Question(question="why?"), variant="short")
    c.append(ASK, Question(question="how?"))
    assert len(c) == 3
    assert repr(c) == 'Composition(entries=3, names=["system_intro", "ask", "ask"])'
    assert messages(c) == [("system", "You are a pirate."), ("user", "why?"),
                           ("user", "Q: how?")]
    first = c.resolve()[0]
    assert repr(first) == 'Message(role="system", text="You are a pirate.")'


def test_message_text_equals_an_unguarded_render():
    vars_ = Question(question="x <y> & z")
    for variant in (None, "short"):
        c = quorlen.Composition()
        c.append(ASK, vars_, variant=variant)
        assert c.resolve()[0].text == ASK.render(vars_, variant=variant).text


def test_guard_is_never_applied():
    c = quorlen.Composition()
    c.append(ASK, Question(question="<b>"))
    assert c.resolve()[0].text == "Q: <b>"


def test_resolving_again_gives_equal_new_messages():
    c = quorlen.Composition.from_messages([(SYSTEM, Persona(persona="p")),
                                           (ASK, Question(question="q"))])
    first, second = c.resolve(), c.resolve()
    assert first is not second
    assert [(m.role, m.text) for m in first] == [(m.role, m.text) for m in second]
    assert all(a is not b for a, b in zip(first, second))


def test_validation_uses_the_vars_own_class_not_the_bound_validators():
    bound = quorlen.Prompt(definition("Q: {{ question }}", variables={"question": var()}),
                           validators=Shouted)
    c = quorlen.Composition()
    c.append(bound, Question(question="quiet"))
    c.append(ASK, Shouted(question="loud"))
    assert [m.text for m in c.resolve()] == ["Q: quiet", "Q: LOUD"]


def test_entries_keep_the_values_converted_at_append():
    vars_ = Question(question="before")
    c = quorlen.Composition()
    c.append(ASK, vars_)
    vars_.question = "after"
    assert c.resolve()[0].text == "Q: before"


def test_entries_keep_their_prompts_alive():
    c = quorlen.Composition()
    c.append(quorlen.Prompt(definition("Hi {{ question }}", variables={"question": var()})),
             Question(question="there"))
    gc.collect()
    assert messages(c) == [("user", "Hi there")]


def test_a_cycle_through_a_prompts_validators_is_collected():
    class Holder(pydantic.BaseModel):
        question: str

    prompt = quorlen.Prompt(definition("{{ question }}", variables={"question": var()}),
                            validators=Holder)
    c = quorlen.Composition()
    c.append(prompt, Question(question="q"))
    Holder.composition = c  # composition -> prompt -> validators -> composition
    alive = weakref.ref(Holder)
    del Holder, prompt, c
    gc.collect()
    assert alive() is None


@pytest.mark.parametrize("args, kwargs, error, text", [
    ((ASK, rejected()), {}, quorlen.PromptValidationError, "validation failed"),
    ((ASK, {"question": "a dict"}), {}, AttributeError, "model_dump"),
    ((ASK, Huge(question="q", big=2**64)), {}, quorlen.LoadError,
     "could not marshal Python value: JSON number out of range"),
    (("ask", Question(question="q")), {}, TypeError, "'prompt'"),
    ((5, {"not": "validated"}), {}, TypeError, "'prompt'"),
    ((ASK, Question(question="q")), {"variant": 1}, TypeError, "'variant'"),
    ((ASK,), {}, TypeError, "missing required argument 'vars'"),
    ((ASK, Question(question="q"), "short"), {}, TypeError, "positional"),
], ids=["invalid-vars", "dict-vars", "unconvertible", "prompt-str", "prompt-checked-first",
        "variant-int", "missing-vars", "variant-positional"])
def test_failed_append_stores_nothing(args, kwargs, error, text):
    c = quorlen.Composition()
    c.append(SYSTEM, Persona(persona="p"))
    with pytest.raises(error, match=text):
        c.append(*args, **kwargs)
    assert len(c) == 1
    assert messages(c) == [("system", "You are p.")]


def test_an_unknown_variant_surfaces_only_at_resolve():
    c = quorlen.Composition()
    c.append(SYSTEM, Persona(persona="p"))
    c.append(ASK, Question(question="q"), variant="missing")
    with pytest.raises(quorlen.PromptRenderError) as info:
        c.resolve()
    assert rows(info.value) == [("variant", "unknown_variant", "unknown variant: `missing`")]
    assert len(c) == 2


class Secret(pydantic.BaseModel):
    secret: str


def test_resolve_errors_are_scrubbed_like_a_render_without_reveal():
    p = quorlen.Prompt(definition("{{ secret + 1 }}", variables={"secret": var()}))
    vars_ = Secret(secret="hunter2-value")
    with pytest.raises(quorlen.PromptRenderError) as rendered:
        p.render(vars_)
    c = quorlen.Composition.from_messages([(p, vars_)])
    with pytest.raises(quorlen.PromptRenderError) as resolved:
        c.resolve()
    assert rows(resolved.value) == rows(rendered.value)
    assert "hunter2" not in str(resolved.value)
    assert resolved.value.errors[0].code == "render"


def test_a_variable_the_vars_class_lacks_is_undefined_at_resolve():
    c = quorlen.Composition()
    c.append(ASK, Persona(persona="not a question"))
    with pytest.raises(quorlen.PromptRenderError) as info:
        c.resolve()
    assert info.value.errors[0].code == "undefined_variable"


Entry = collections.namedtuple("Entry", "prompt vars variant")


def test_from_messages_takes_two_and_three_element_tuples():
    v = Question(question="q")
    c = quorlen.Composition.from_messages(
        iter([(ASK, v), (ASK, v, "short"), (ASK, v, None), Entry(SYSTEM, Persona(persona="p"),
                                                                 None)]))
    assert messages(c) == [("user", "Q: q"), ("user", "q"), ("user", "Q: q"),
                           ("system", "You are p.")]


@pytest.mark.parametrize("entries", [[], iter(()), ()], ids=["list", "iterator", "tuple"])
def test_from_messages_of_nothing_is_empty(entries):
    c = quorlen.Composition.from_messages(entries)
    assert len(c) == 0 and c.resolve() == []


def good():
    return (ASK, Question(question="q"))


def failing_iteration():
    yield good()
    raise KeyError("iteration broke")


@pytest.mark.parametrize("entries, error, text", [
    ([good(), [ASK, Question(question="q")]], TypeError,
     r"^composition entry must be a tuple of \(prompt, vars\) or \(prompt, vars, variant\)$"),
    ([good(), (ASK,)], TypeError,
     r"^composition entry must have 2 or 3 elements \(prompt, vars\[, variant\]\), got 1$"),
    ([(ASK, Question(question="q"), None, None)], TypeError, r", got 4$"),
    ([()], TypeError, r", got 0$"),
    ([("ask", Question(question="q"))], TypeError,
     r"^composition entry first element must be a Prompt object$"),
    ([(ASK, Question(question="q"), b"short")], TypeError, "variant"),
    ([good(), (ASK, rejected())], quorlen.PromptValidationError, "validation failed"),
    ([good(), (ASK, {"question": "q"})], AttributeError, "model_dump"),
    ([(ASK, Huge(question="q", big=-2**63 - 1))], quorlen.LoadError, "could not marshal"),
    (5, TypeError, "not iterable"),
    (failing_iteration(), KeyError, "iteration broke"),
], ids=["list-item", "too-short", "too-long", "empty-tuple", "first-not-prompt",
        "variant-bytes", "second-invalid", "dict-vars", "unconvertible", "not-iterable",
        "iteration-raises"])
def test_from_messages_fails_as_a_whole(entries, error, text):
    with pytest.raises(error, match=text):
        quorlen.Composition.from_messages(entries)


def test_from_messages_stops_at_the_first_failing_item():
    consumed = []

    def items():
        for item in [good(), (ASK, rejected()), good()]:
            consumed.append(item)
            yield item

    with pytest.raises(quorlen.PromptValidationError):
        quorlen.Composition.from_messages(items())
    assert len(consumed) == 2


class CallsBack(pydantic.BaseModel):
    """Vars whose validator uses a target composition while it is being appended to."""

    question: str
    action: ClassVar = None  # what to do with the composition during the next validation
    caught: ClassVar = None  # a list to collect refusals in, or None to let them propagate

    @pydantic.field_validator("question")
    @classmethod
    def call_back(cls, v):
        if CallsBack.action is not None:
            action, CallsBack.action = CallsBack.action, None
            if CallsBack.caught is None:
                action()
            else:
                try:
                    action()
                except RuntimeError as e:
                    CallsBack.caught.append(e)
        return v


@pytest.mark.parametrize("action", [
    lambda c: c.append(ASK, Question(question="inner")),
    lambda c: c.append(5, 6),
    lambda c: c.resolve(),
    lambda c: len(c),
    lambda c: repr(c),
], ids=["append", "append-bad-args", "resolve", "len", "repr"])
def test_calling_back_into_the_composition_during_append_is_refused(action):
    c = quorlen.Composition()
    c.append(SYSTEM, Persona(persona="p"))
    vars_ = CallsBack(question="outer")
    CallsBack.action, CallsBack.caught = (lambda: action(c)), None
    with pytest.raises(RuntimeError, match="re-entrant"):
        c.append(ASK, vars_)
    assert messages(c) == [("system", "You are p.")]
    # The refusal leaves the composition usable.
    c.append(ASK, vars_)
    assert messages(c) == [("system", "You are p."), ("user", "Q: outer")]


def test_a_refused_call_back_that_is_caught_lets_the_append_finish():
    c = quorlen.Composition()
    vars_ = CallsBack(question="outer")
    CallsBack.action = lambda: c.append(ASK, Question(question="inner"))
    CallsBack.caught = []
    c.append(ASK, vars_)
    assert len(CallsBack.caught) == 1
    assert messages(c) == [("user", "Q: outer")]


def test_another_composition_may_be_used_during_append():
    other = quorlen.Composition()
    vars_ = CallsBack(question="c")
    CallsBack.action, CallsBack.caught = (lambda: other.append(ASK, Question(question="o"))), None
    c = quorlen.Composition()
    c.append(ASK, vars_)
    assert messages(other) == [("user", "Q: o")] and messages(c) == [("user", "Q: c")]


class Counted(pydantic.BaseModel):
    question: str
    calls: ClassVar = [0]

    @pydantic.model_validator(mode="after")
    def count(self):
        Counted.calls[0] += 1
        return self


def test_large_compositions_validate_once_and_resolve_whole():
    vars_ = Counted(question="q")
    Counted.calls[0] = 0
    large = quorlen.Composition.from_messages((ASK, vars_) for _ in range(10_000))
    assert Counted.calls[0] == 10_000
    resolved = large.resolve()
    assert Counted.calls[0] == 10_000
    assert len(resolved) == 10_000 and resolved[-1].text == "Q: q"
    assert repr(large).count('"ask"') == 10_000


def test_signatures():
    assert str(inspect.signature(quorlen.Composition)) == "()"
    assert str(inspect.signature(quorlen.Composition.append)) == (
        "(self, /, prompt, vars, *, variant=None)")
    assert str(inspect.signature(quorlen.Composition.from_messages)) == "(entries)"
    assert str(inspect.signature(quorlen.Composition.resolve)) == "(self, /)"
    with pytest.raises(TypeError):
        quorlen.Composition(1)

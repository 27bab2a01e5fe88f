"""Exceptions, FieldError rows and make_prompt_load_error."""

import pytest

import quorlen

SUBCLASSES = [quorlen.PromptValidationError, quorlen.PromptRenderError, quorlen.LoadError,
              quorlen.PromptLoadError]


def test_hierarchy():
    assert quorlen.QuorlenError.__bases__ == (Exception,)
    for cls in SUBCLASSES:
        assert cls.__bases__ == (quorlen.QuorlenError,)
        assert cls.__module__ == "quorlen"
        assert all(not issubclass(cls, other) for other in SUBCLASSES if other is not cls)
    assert quorlen.QuorlenError.__module__ == "quorlen"
    assert quorlen.QuorlenError.__qualname__ == "QuorlenError"


@pytest.mark.parametrize("cls", SUBCLASSES)
def test_base_class_catches_every_error(cls):
    with pytest.raises(quorlen.QuorlenError):
        raise cls("x")


def test_exceptions_made_by_python_have_no_rows():
    assert not hasattr(quorlen.LoadError("x"), "errors")


@pytest.mark.parametrize("code, message", [
    ("load_not_found", "no prompt under key `greeting`"),
    ("load_io", "read failed: size 9 MiB exceeds 1 MiB"),
    ("", ""),
    ("made_up_code", "any text; \"quotes\" and\nnewlines stay as given"),
])
def test_make_prompt_load_error(code, message):
    exc = quorlen.make_prompt_load_error(code, message)
    assert type(exc) is quorlen.PromptLoadError
    assert str(exc) == f"prompt load failed: {message} [{code}]"
    assert exc.args == (f"prompt load failed: {message} [{code}]",)
    (row,) = exc.errors
    assert (row.field, row.code, row.message) == ("", code, message)
    with pytest.raises(quorlen.QuorlenError) as info:
        raise exc
    assert info.value is exc


def test_load_error_does_not_catch_prompt_load_error():
    with pytest.raises(quorlen.PromptLoadError):
        try:
            raise quorlen.make_prompt_load_error("load_io", "m")
        except quorlen.LoadError:
            pytest.fail("LoadError caught a PromptLoadError")


def test_make_prompt_load_error_by_keyword_and_fresh_objects():
    a = quorlen.make_prompt_load_error(message="m", error_code="load_io")
    b = quorlen.make_prompt_load_error("load_io", "m")
    assert a is not b and a.errors is not b.errors
    assert str(a) == str(b)
    assert a.errors[0].field is not None


@pytest.mark.parametrize("args, kwargs, names", [
    ((1, "m"), {}, "error_code"),
    (("c", b"m"), {}, "message"),
    ((), {"error_code": "c", "message": None}, "message"),
])
def test_make_prompt_load_error_wants_str(args, kwargs, names):
    with pytest.raises(TypeError, match=names):
        quorlen.make_prompt_load_error(*args, **kwargs)


def test_str_subclass_is_accepted_as_its_text():
    class S(str):
        def __str__(self):
            return "overridden"

    exc = quorlen.make_prompt_load_error(S("load_io"), S("m"))
    assert str(exc) == "prompt load failed: m [load_io]"


def test_field_error_is_frozen_and_not_constructible():
    row = quorlen.make_prompt_load_error("c", "m").errors[0]
    with pytest.raises(TypeError):
        quorlen.FieldError("a", "b", "c")
    for attr in ("field", "code", "message"):
        with pytest.raises(AttributeError):
            setattr(row, attr, "x")
        with pytest.raises(AttributeError):
            delattr(row, attr)
    assert row != quorlen.make_prompt_load_error("c", "m").errors[0]  # identity semantics
    assert hash(row) == hash(row)


@pytest.mark.parametrize("message, shown", [
    ("plain", '"plain"'),
    ("", '""'),
    ('say "hi"', r'"say \"hi\""'),
    ("back\\slash", r'"back\\slash"'),
    ("tab\tcr\rlf\nnul\0", r'"tab\tcr\rlf\nnul\0"'),
    ("esc\x1b del\x7f", r'"esc\u{1b} del\u{7f}"'),
    ("it's café ☕ 😀 日本", "\"it's café ☕ 😀 日本\""),
    ("e\u0301", r'"e\u{301}"'),                      # combining acute: grapheme extender
    ("zero\u200bwidth", r'"zero\u{200b}width"'),     # format character
    ("nb\u00a0sp", r'"nb\u{a0}sp"'),                 # a separator other than the space
    ("line\u2028sep", r'"line\u{2028}sep"'),
    ("private\ue000", r'"private\u{e000}"'),
    ("unassigned\u0378", r'"unassigned\u{378}"'),
    ("bidi\u202e", r'"bidi\u{202e}"'),
])
def test_field_error_repr_quotes_every_text(message, shown):
    row = quorlen.make_prompt_load_error("load_io", message).errors[0]
    assert repr(row) == f'FieldError(field="", code="load_io", message={shown})'


@pytest.mark.parametrize("shape, row", [
    ({"body": "{% if %}"}, ("template", "parse")),
    ({"body": "{% include 'x' %}"}, ("template", "excluded_feature")),
    ({"body": "{{ nope }}"}, ("nope", "undefined_variable")),
    ({"variants": {"default": {"body": "x"}}}, ("variant", "undefined_variable")),
], ids=["parse", "excluded", "undeclared", "reserved-variant"])
def test_construction_failures_carry_one_render_row(shape, row):
    with pytest.raises(quorlen.PromptRenderError) as info:
        quorlen.Prompt({"name": "n", "role": "user", "body": "b", **shape})
    (only,) = info.value.errors
    assert (only.field, only.code) == row
    assert str(info.value) == (f"render failed (1 error(s)); {only.field}: {only.message} "
                               f"[{only.code}]")


def test_reading_failure_is_a_load_error_with_the_reader_text():
    with pytest.raises(quorlen.LoadError) as info:
        quorlen.Prompt.from_json("[")
    (row,) = info.value.errors
    assert (row.field, row.code) == ("", "load")
    assert str(info.value) == "failed to load prompt definition: " + row.message
    assert row.message.endswith("at line 1 column 1")

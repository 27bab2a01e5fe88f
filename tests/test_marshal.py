"""Python values in and out of the module: definitions given as Python data (their metadata
comes back through the getters) and render variables."""

import collections
import dataclasses
import enum
import types

import pytest
from hypothesis import given, settings, strategies as st

import quorlen
from definitions import definition


def roundtrip(value):
    return quorlen.Prompt(definition(metadata={"v": value})).metadata["v"]


def load_failure(value):
    with pytest.raises(quorlen.LoadError) as info:
        quorlen.Prompt(definition(metadata={"v": value}))
    (row,) = info.value.errors
    assert (row.field, row.code) == ("", "load")
    assert str(info.value) == f"failed to load prompt definition: {row.message}"
    return row.message


class Color(enum.IntEnum):
    RED = 7


class Text(str):
    pass


@dataclasses.dataclass
class Point:
    x: int
    label: str
    tags: tuple = ()


class Seq(collections.abc.Sequence):
    def __init__(self, *items):
        self.items = items

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        return self.items[i]


class Pair(collections.abc.Mapping):
    def __iter__(self):
        return iter(["z", "a"])

    def __len__(self):
        return 2

    def __getitem__(self, key):
        return key.upper()


@pytest.mark.parametrize("value, expected", [
    (None, None),
    (True, True),
    (False, False),
    (0, 0),
    (2**64 - 1, 2**64 - 1),
    (-2**63, -2**63),
    (Color.RED, 7),
    (1.5, 1.5),
    (-0.0, -0.0),
    ("text", "text"),
    (Text("sub"), "sub"),
    ("é\0\U0001F600", "é\0\U0001F600"),
    ((1, 2), [1, 2]),
    ([1, [2, [3]]], [1, [2, [3]]]),
    (collections.namedtuple("NT", "a b")(1, 2), [1, 2]),
    ({3}, [3]),
    (frozenset(), []),
    (range(3), [0, 1, 2]),
    (Seq(1, "a"), [1, "a"]),
    (collections.OrderedDict(b=1, a=2), {"a": 2, "b": 1}),
    (types.MappingProxyType({"k": [None]}), {"k": [None]}),
    (Pair(), {"a": "A", "z": "Z"}),
    (Point(1, "p", (2,)), {"label": "p", "tags": [2], "x": 1}),
    ({"nested": Point(0, "q")}, {"nested": {"label": "q", "tags": [], "x": 0}}),
], ids=repr)
def test_values_convert_by_kind(value, expected):
    got = roundtrip(value)
    assert got == expected
    assert type(got) is type(expected)


@pytest.mark.parametrize("value", [float("nan"), float("inf"), -float("inf")])
def test_non_finite_floats_become_null(value):
    assert roundtrip(value) is None


def test_object_keys_come_out_in_byte_order():
    got = roundtrip({"é": 1, "z": 2, "Z": 3, "a": {"y": 1, "b": 2}, "\U0001F600": 4, "\uffff": 5})
    assert list(got) == ["Z", "a", "z", "é", "\uffff", "\U0001F600"]
    assert list(got["a"]) == ["b", "y"]


def test_getters_return_fresh_objects():
    p = quorlen.Prompt(definition(metadata={"list": [1], "map": {"k": "v"}}))
    first = p.metadata
    first["list"].append(2)
    first["map"]["k"] = "changed"
    assert p.metadata == {"list": [1], "map": {"k": "v"}}
    assert p.metadata is not p.metadata


def self_containing_list():
    items = [1]
    items.append(items)
    return items


def self_containing_dict():
    d = {}
    d["me"] = d
    return d


def deep(n):
    value = []
    for _ in range(n):
        value = [value]
    return value


class RaisingSeq(Seq):
    def __iter__(self):
        raise ValueError("boom")


@pytest.mark.parametrize("value, message", [
    (2**64, "JSON number out of range"),
    (-2**63 - 1, "JSON number out of range"),
    (2**200, "JSON number out of range"),
    (-2**200, "JSON number out of range"),
    (b"ab", "unsupported type: bytes"),
    (bytearray(b"ab"), "unsupported type: bytearray"),
    ({1: "a"}, "object keys must be str, not int"),
    ({("t",): "a"}, "object keys must be str, not tuple"),
    (object(), "unsupported type: object"),
    (Point, "unsupported type: type"),
    (self_containing_list(), "recursion limit exceeded"),
    (self_containing_dict(), "recursion limit exceeded"),
    (deep(100_000), "recursion limit exceeded"),
    (RaisingSeq(), "ValueError: boom"),
], ids=["2**64", "below-int64", "huge", "huge-negative", "bytes", "bytearray", "int-key",
        "tuple-key", "object", "class", "list-cycle", "dict-cycle", "deep", "raising-iter"])
def test_unconvertible_values_fail_with_a_description(value, message):
    assert load_failure(value) == message


def test_nesting_within_the_bound_converts():
    assert roundtrip(deep(100)) == deep(100)


def test_lone_surrogate_is_a_load_error():
    assert "UnicodeEncodeError" in load_failure("\ud800")


def test_interrupt_during_conversion_propagates_unchanged():
    class Interrupting(Seq):
        def __iter__(self):
            raise KeyboardInterrupt

    with pytest.raises(KeyboardInterrupt):
        quorlen.Prompt(definition(metadata={"v": Interrupting()}))


def test_list_shrinking_during_conversion_is_safe():
    victim = [1, 2, 3]

    class Shrinker(Seq):
        def __iter__(self):
            victim.clear()
            return iter([0])

    assert roundtrip([Shrinker(), victim]) in ([[0], []], [[0], [2, 3]])


def test_a_million_elements_convert():
    got = roundtrip(list(range(1_000_000)))
    assert len(got) == 1_000_000 and got[-1] == 999_999


json_values = st.recursive(
    st.none() | st.booleans() | st.integers(-2**63, 2**64 - 1)
    | st.floats(allow_nan=False, allow_infinity=False) | st.text(),
    lambda children: st.lists(children, max_size=4)
    | st.dictionaries(st.text(max_size=6), children, max_size=4),
    max_leaves=20)


def sorted_by_bytes(value):
    if isinstance(value, dict):
        keys = sorted(value, key=lambda k: k.encode())
        return {k: sorted_by_bytes(value[k]) for k in keys}
    if isinstance(value, list):
        return [sorted_by_bytes(v) for v in value]
    return value


def same(a, b):
    """Equal with dict key order and value kinds, as == alone ignores both."""
    if isinstance(a, dict):
        return isinstance(b, dict) and list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, list):
        return isinstance(b, list) and len(a) == len(b) and all(map(same, a, b))
    return type(a) is type(b) and a == b


@settings(max_examples=200, deadline=None)
@given(value=json_values)
def test_json_values_round_trip_with_sorted_keys(value):
    assert same(roundtrip(value), sorted_by_bytes(value))

"""Small builders of prompt definitions shared by the Python API suites."""


def var(type="string", *, trusted=True, **fields):
    return {"type": type, "trusted": trusted, **fields}


def definition(body="Hello", *, name="greeting", role="user", **fields):
    return {"name": name, "role": role, "body": body, **fields}

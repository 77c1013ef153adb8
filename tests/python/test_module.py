"""The module's face: every public name documented and in the type stubs, the exception family."""

import ast
import inspect
import pathlib

import tr805q

STUBS = pathlib.Path(tr805q.__file__).with_name("tr805q.pyi")


def public(names):
    return sorted(n for n in names if not n.startswith("_"))


def defined_names(body):
    """Names a stub body defines: functions, classes and annotated attributes."""
    names = set()
    for node in body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            names.add(node.name)
        elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            names.add(node.target.id)
    return names


def stub_tree():
    tree = ast.parse(STUBS.read_text())
    members = {node.name: defined_names(node.body) for node in tree.body if isinstance(node, ast.ClassDef)}
    return defined_names(tree.body), members


def test_every_public_name_has_a_docstring_and_a_stub():
    names, members = stub_tree()
    for name in public(dir(tr805q)):
        obj = getattr(tr805q, name)
        assert name in names, name
        if name == "__version__":
            continue
        assert (obj.__doc__ or "").strip(), name
        if inspect.isclass(obj) and not issubclass(obj, BaseException):
            for member in public(vars(obj)):
                assert (getattr(obj, member).__doc__ or "").strip(), f"{name}.{member}"
                assert member in members[name], f"{name}.{member} has no stub"


def test_the_stubs_name_nothing_the_module_lacks():
    names, members = stub_tree()
    for name in names:
        assert hasattr(tr805q, name), name
        cls = getattr(tr805q, name)
        if inspect.isclass(cls) and issubclass(cls, BaseException):
            continue  # their attributes are the instances'
        for member in members.get(name, ()):
            assert hasattr(getattr(tr805q, name), member), f"{name}.{member}"


def test_the_exception_family():
    assert issubclass(tr805q.CommunicationError, tr805q.Error)
    assert issubclass(tr805q.PortError, tr805q.Error) and issubclass(tr805q.PortError, OSError)
    assert issubclass(tr805q.FileFormatError, tr805q.Error) and issubclass(tr805q.FileFormatError, ValueError)
    assert issubclass(tr805q.BoardError, tr805q.Error)
    assert tr805q.Error.__module__ == "tr805q"


def test_version():
    assert tr805q.__version__ == "1.3"

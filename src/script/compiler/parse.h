// Declarations (decl.cpp) and statements (stmt.cpp).
#pragma once

#include "script/compiler/state.h"

namespace zelt::compiler {

// ---- declarations ----

// declaration -> [storage] [type] declarator ['=' init] {',' declarator ['=' init]} ';'
//              | [storage] [type] function-declarator [old-style-params] body
// One file-scope declaration (the driver's loop).
void decl_external(Compiler& cs);
// One declaration inside a function body (the statement parser's).
void decl_local(Compiler& cs);
// A storage class, a type keyword or a typedef name starts a declaration.
bool is_decl_start(Compiler& cs);
bool is_type_start(Compiler& cs);
// type-name -> type abstract-declarator (in casts and sizeof)
int32_t parse_type_name(Compiler& cs);
// Makes global symbol g a function returning `result`; its label is
// allocated at the first mention.
void func_declare(Compiler& cs, int g, int32_t result);

// ---- statements ----

// Compiles a function body from '{' to '}' with its prologue and epilogue.
void compile_function_body(Compiler& cs);

}  // namespace zelt::compiler

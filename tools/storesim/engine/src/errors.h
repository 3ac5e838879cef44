// SQL Server's messages as the simulator raises them: number, class
// (severity), state and text, with %1, %2... where the arguments go.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "storesim/engine.h"

namespace storesim::sql {

struct ServerMessage {
  std::int32_t number;
  std::uint8_t cls;
  std::uint8_t state;
  const char* text;
};

// By number.
inline constexpr ServerMessage kServerMessages[] = {
    {102, 15, 1, "Incorrect syntax near '%1'."},
    {105, 15, 1, "Unclosed quotation mark after the character string '%1'."},
    {108, 16, 1, "The ORDER BY position number %1 is out of range of the number of items in the select list."},
    {109, 15, 1,
     "There are more columns in the INSERT statement than values specified in the VALUES clause. The"
     " number of values in the VALUES clause must match the number of columns specified in the INSERT"
     " statement."},
    {110, 15, 1,
     "There are fewer columns in the INSERT statement than values specified in the VALUES clause. The"
     " number of values in the VALUES clause must match the number of columns specified in the INSERT"
     " statement."},
    {111, 15, 1, "'%1' must be the first statement in a query batch."},
    {113, 15, 1, "Missing end comment mark '*/'."},
    {116, 16, 1,
     "Only one expression can be specified in the select list when the subquery is not introduced with"
     " EXISTS."},
    {120, 15, 1,
     "The select list for the INSERT statement contains fewer items than the insert list. The number of"
     " SELECT values must match the number of INSERT columns."},
    {121, 15, 1,
     "The select list for the INSERT statement contains more items than the insert list. The number of"
     " SELECT values must match the number of INSERT columns."},
    {128, 15, 1,
     "The name \"%1\" is not permitted in this context. Valid expressions are constants, constant"
     " expressions, and (in some contexts) variables. Column names are not permitted."},
    {130, 16, 1, "Cannot perform an aggregate function on an expression containing an aggregate or a subquery."},
    {131, 15, 1, "The size (%1) given to the column '%2' exceeds the maximum allowed for any data type (8000)."},
    {137, 15, 1, "Must declare the scalar variable \"%1\"."},
    {147, 15, 1,
     "An aggregate may not appear in the WHERE clause unless it is in a subquery contained in a HAVING"
     " clause or a select list, and the column being aggregated is an outer reference."},
    {156, 15, 1, "Incorrect syntax near the keyword '%1'."},
    {174, 15, 1, "The %1 function requires %2 argument(s)."},
    {191, 15, 1,
     "Some part of your SQL statement is nested too deeply. Rewrite the query or break it down into"
     " smaller queries."},
    {195, 15, 1, "'%1' is not a recognized built-in function name."},
    {207, 16, 1, "Invalid column name '%1'."},
    {208, 16, 1, "Invalid object name '%1'."},
    {209, 16, 1, "Ambiguous column name '%1'."},
    {213, 16, 1, "Column name or number of supplied values does not match table definition."},
    {219, 16, 1, "The type '%1' already exists, or you do not have permission to create it."},
    {241, 16, 1, "Conversion failed when converting date and/or time from character string."},
    {243, 16, 1, "Type %1 is not a defined system type."},
    {245, 16, 1, "Conversion failed when converting the %1 value '%2' to data type %3."},
    {263, 16, 1, "Must specify table to select from."},
    {264, 16, 1,
     "The column name '%1' is specified more than once in the SET clause or column list of an INSERT. A"
     " column cannot be assigned more than one value in the same clause. Modify the clause to make sure"
     " that a column is updated only once. If this clause updates columns to a view, column name '%2' may"
     " appear twice in the view definition."},
    {402, 16, 1, "The data types %1 and %2 are incompatible in the %3 operator."},
    {447, 16, 1, "Expression type %1 is invalid for COLLATE clause."},
    {512, 16, 1,
     "Subquery returned more than 1 value. This is not permitted when the subquery follows =, !=, <, <= ,"
     " >, >= or when the subquery is used as an expression."},
    {515, 16, 1, "Cannot insert the value NULL into column '%1', table '%2'; column does not allow nulls. %3 fails."},
    {544, 16, 1, "Cannot insert explicit value for identity column in table '%1' when IDENTITY_INSERT is set to OFF."},
    {911, 16, 1, "Database '%1' does not exist. Make sure that the name is entered correctly."},
    {1013, 16, 1,
     "The objects \"%1\" and \"%2\" in the FROM clause have the same exposed names. Use correlation names"
     " to distinguish them."},
    {1060, 16, 1, "The number of rows in the TOP clause must be an integer."},
    {1088, 16, 1, "Cannot find the object \"%1\" because it does not exist or you do not have permissions."},
    {1505, 16, 1,
     "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for the object name"
     " 'dbo.%1' and the index name '%2'. The duplicate key value is %3."},
    {1750, 16, 0, "Could not create constraint or index. See previous errors."},
    {1752, 16, 1, "Column '%1' in table '%2' is invalid for creating a default constraint."},
    {1754, 16, 1, "Defaults cannot be created on columns with an IDENTITY attribute. Table '%1', column '%2'."},
    {1779, 16, 1, "Table '%1' already has a primary key defined on it."},
    {1781, 16, 1, "Column already has a DEFAULT bound to it."},
    {1902, 16, 1,
     "Cannot create more than one clustered index on table 'dbo.%1'. Drop the existing clustered index"
     " '%2' before creating another."},
    {1911, 16, 1, "Column name '%1' does not exist in the target table or view."},
    {1913, 16, 1,
     "The operation failed because an index or statistics with name '%1' already exists on table 'dbo.%2'."},
    {2601, 14, 1,
     "Cannot insert duplicate key row in object 'dbo.%1' with unique index '%2'. The duplicate key value"
     " is %3."},
    {2627, 14, 1,
     "Violation of %1 constraint '%2'. Cannot insert duplicate key in object 'dbo.%3'. The duplicate key"
     " value is %4."},
    {2705, 16, 1,
     "Column names in each table must be unique. Column name '%1' in table '%2' is specified more than"
     " once."},
    {2714, 16, 1, "There is already an object named '%1' in the database."},
    {2715, 16, 1, "Column, parameter, or variable #%1: Cannot find data type %2."},
    {2744, 16, 1, "Multiple identity columns specified for table '%1'. Only one identity column is allowed per table."},
    {2749, 16, 1,
     "Identity column '%1' must be of data type int, bigint, smallint, tinyint, or decimal or numeric with"
     " a scale of 0, and constrained to be nonnullable."},
    {2750, 16, 1,
     "Column or parameter #%1: Specified column precision %2 is greater than the maximum precision of 38."},
    {2812, 16, 1, "Could not find stored procedure '%1'."},
    {3621, 0, 0, "The statement has been terminated."},
    {3701, 11, 1, "Cannot drop the %1 '%2', because it does not exist or you do not have permission."},
    {3723, 16, 1,
     "An explicit DROP INDEX is not allowed on index '%1'. It is being used for %2 constraint enforcement."},
    {3727, 16, 1, "Could not drop constraint. See previous errors."},
    {3728, 16, 1, "'%1' is not a constraint."},
    {3902, 16, 1, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."},
    {3903, 16, 1, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."},
    {4060, 11, 1, "Cannot open database \"%1\" requested by the login. The login failed."},
    {4104, 16, 1, "The multi-part identifier \"%1\" could not be bound."},
    {4145, 15, 1, "An expression of non-boolean type specified in a context where a condition is expected."},
    {4901, 16, 1,
     "ALTER TABLE only allows columns to be added that can contain nulls, or have a DEFAULT definition"
     " specified, or the column being added is an identity or timestamp column, or alternatively if none"
     " of the previous conditions are satisfied the table must be empty to allow addition of this column."
     " Column '%1' cannot be added to non-empty table '%2' because it does not satisfy these conditions."},
    {4902, 16, 1, "Cannot find the object \"%1\" because it does not exist or you do not have permissions."},
    {4922, 16, 1, "ALTER TABLE %1 %2 failed because one or more objects access this column."},
    {4924, 16, 1, "ALTER TABLE %1 failed because column '%2' does not exist in table '%3'."},
    {5074, 16, 1, "The %1 '%2' is dependent on column '%3'."},
    {5701, 10, 1, "Changed database context to '%1'."},
    {8102, 16, 1, "Cannot update identity column '%1'."},
    {8110, 16, 1, "Cannot add multiple PRIMARY KEY constraints to table '%1'."},
    {8111, 16, 1, "Cannot define PRIMARY KEY constraint on nullable column in table '%1'."},
    {8114, 16, 1, "Error converting data type %1 to %2."},
    {8115, 16, 1, "Arithmetic overflow error converting %1 to data type %2."},
    {8117, 16, 1, "Operand data type datetime is invalid for %1 operator."},
    {8134, 16, 1, "Divide by zero error encountered."},
    {8147, 16, 1, "Could not create IDENTITY attribute on nullable column '%1', table '%2'."},
    {8152, 16, 1, "String or binary data would be truncated."},
    {8153, 10, 1, "Warning: Null value is eliminated by an aggregate or other SET operation."},
    {8197, 16, 1, "The object '%1' does not exist or is invalid for this operation."},
    {18456, 14, 1, "Login failed for user '%1'."},
};

// The message `number` with its arguments in place.
Message Error(std::int32_t number, std::initializer_list<std::string> args = {});

// Throws SqlError with the message `number`; `abort_batch` when the error
// ends the whole batch.
[[noreturn]] void Fail(std::int32_t number, std::initializer_list<std::string> args = {}, bool abort_batch = false);

}  // namespace storesim::sql
